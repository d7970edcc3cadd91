#include "records/AudioFileInfo.h"

#include <gtest/gtest.h>

#include <cmath>

namespace twinfold {
namespace {

std::string rateText(double rate) {
    AudioFileInfo info;
    info.sampleRate = rate;
    return info.sampleRateText();
}

std::string durationText(double seconds) {
    AudioFileInfo info;
    info.duration = seconds;
    return info.durationText();
}

TEST(AudioFileInfoTextTest, SampleRateText) {
    EXPECT_EQ(rateText(48000), "48k");
    EXPECT_EQ(rateText(96000), "96k");
    EXPECT_EQ(rateText(44100), "44.1k");
    EXPECT_EQ(rateText(88200), "88.2k");
    EXPECT_EQ(rateText(22050), "22.05k");
    EXPECT_EQ(rateText(11025), "11.025k");
    EXPECT_EQ(rateText(std::nan("")), "0k");
}

TEST(AudioFileInfoTextTest, DurationTextHasNoHoursField) {
    EXPECT_EQ(durationText(187.9), "3:07");
    EXPECT_EQ(durationText(7500), "125:00");
    EXPECT_EQ(durationText(59.9), "0:59");
    EXPECT_EQ(durationText(0), "0:00");
    EXPECT_EQ(durationText(INFINITY), "0:00");
}

}  // namespace
}  // namespace twinfold
