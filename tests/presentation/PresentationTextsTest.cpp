#include "presentation/PresentationTexts.h"

#include <gtest/gtest.h>

namespace twinfold::test {
namespace {

// Decimal units, one fraction digit, the unit stepping up at each thousand.
TEST(ByteCountTest, ReadsLikeAFileManager) {
    const struct {
        std::int64_t bytes;
        const char* decimalPoint;
        const char* text;
    } cases[] = {{0, ".", "0 bytes"},        {999, ".", "999 bytes"},    {1000, ".", "1.0 kB"},
                 {3'640'000, ".", "3.6 MB"}, {3'640'000, ",", "3,6 MB"}, {-2'250'000'000, ".", "-2.2 GB"},
                 {999'999, ".", "1000.0 kB"}};
    for (const auto& c : cases) EXPECT_EQ(presentation::byteCountText(c.bytes, c.decimalPoint), c.text) << c.bytes;
}

}  // namespace
}  // namespace twinfold::test
