// Size texts of the result list.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "finder/TextUtil.h"

namespace {

struct SizeCase {
    std::uint64_t size;
    const char* text;
};

const SizeCase kSizes[] = {
    {0, "0B"},
    {1, "1B"},
    {1000, "1000B"},
    {1023, "1023B"},
    {1024, "1KB"},
    {1025, "1.00KB"},
    {1030, "1.01KB"},
    {1536, "1.50KB"},
    {2047, "2.00KB"},  // 100 hundredths: the next whole number, same unit
    {2048, "2KB"},
    {5000, "4.88KB"},
    {10240, "10KB"},
    {1048570, "1023.99KB"},
    {1048571, "1024.00KB"},
    {1048575, "1024.00KB"},
    {1048576, "1MB"},
    {1048577, "1.00MB"},
    {1572864, "1.50MB"},
    {123456789, "117.74MB"},
    {1ull << 30, "1GB"},
    {(1ull << 30) * 3 + (1ull << 29), "3.50GB"},
    {1ull << 40, "1TB"},
    {(1ull << 40) - 1, "1024.00GB"},
    {1ull << 50, "1PB"},
    {(1ull << 50) * 16383, "16383PB"},
    {UINT64_MAX - 1, "16384.00PB"},
    {UINT64_MAX, "16384.00PB"},
    // Rounding decided on the thousandths: 1.005 rounds up, 1.004 does not.
    {1024 + 6, "1.01KB"},  // .00585...: thousandths end in 5
    {1024 + 5, "1.00KB"},  // .00488...: thousandths end in 4
};

TEST(FormatSizeTest, MatchesTable) {
    for (const SizeCase& c : kSizes) {
        std::u16string wide = u"previous text";
        FormatSize(wide, c.size);
        EXPECT_EQ(std::u16string(c.text, c.text + std::char_traits<char>::length(c.text)), wide)
            << c.size;
        std::string narrow = "previous text";
        FormatSizeUtf8(narrow, c.size);
        EXPECT_EQ(c.text, narrow) << c.size;
    }
}

}  // namespace
