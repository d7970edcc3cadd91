#include "presentation/PresentationTexts.h"

#include <gtest/gtest.h>

namespace twinfold::test {
namespace {

// Decimal units, one fraction digit, the unit stepping up at each thousand.
TEST(ByteCountTest, ReadsLikeAFileManager) {
    // bytes, decimal point, text
    const std::tuple<std::int64_t, const char*, const char*> cases[] = {
        {0, ".", "0 bytes"},        {999, ".", "999 bytes"},    {1000, ".", "1.0 kB"},
        {3'640'000, ".", "3.6 MB"}, {3'640'000, ",", "3,6 MB"}, {-2'250'000'000, ".", "-2.2 GB"},
        {999'999, ".", "1000.0 kB"}};
    for (const auto& [bytes, point, text] : cases) EXPECT_EQ(presentation::byteCountText(bytes, point), text) << bytes;
}

}  // namespace
}  // namespace twinfold::test
