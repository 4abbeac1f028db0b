#include "bench/Stats.h"

#include <algorithm>
#include <cmath>

namespace bench {

double Median(std::vector<double> values) {
    std::erase_if(values, [](double v) { return std::isnan(v); });
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
    rank = std::clamp<size_t>(rank, 1, values.size());
    return values[rank - 1];
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double x : values) sum += x;
    return values.empty() ? NAN : sum / static_cast<double>(values.size());
}

}  // namespace bench
