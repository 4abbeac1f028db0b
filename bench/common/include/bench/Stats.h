#pragma once

// The statistics the benchmarks print.

#include <vector>

namespace bench {

// The middle value (the mean of the two middle values for an even count), leaving out NaN
// (a round that failed); NaN when nothing is left.
double Median(std::vector<double> values);

// The nearest-rank percentile `p` (0 to 100) of the values; NaN when there are none.
double Percentile(std::vector<double> values, double p);

double Mean(const std::vector<double>& values);

}  // namespace bench
