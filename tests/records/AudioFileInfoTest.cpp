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

// ---- descriptions of real files ------------------------------------------

#include "audio_io/AudioFormat.h"
#include "audio_io/FfmpegEncoder.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <fstream>

namespace twinfold {
namespace {

using namespace twinfold::test;

struct DepthCase {
    PcmContainer container;
    PcmEncoding encoding;
    int bitDepth;
};

class AudioFileInfoDepthTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(AudioFileInfoDepthTest, BitDepthFollowsTheStoredSampleType) {
    TempDir dir;
    auto path = dir / "take.wav";
    if (GetParam().container != PcmContainer::wav) path = dir / "take.aif";
    PcmFormat format{GetParam().container, GetParam().encoding, 44100};
    writePcm(path, format, stereo(StereoKind::trueStereo, 4410, format.encoding));
    AudioFileInfo info = AudioFileInfo::fromFile(path);
    EXPECT_EQ(info.bitDepth, GetParam().bitDepth);
    EXPECT_EQ(info.sourceFormatID, kFormatLinearPCM);
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_DOUBLE_EQ(info.duration, 0.1);
    EXPECT_EQ(info.sampleRateText(), "44.1k");
    EXPECT_EQ(info.fileSize, std::int64_t(std::filesystem::file_size(path)));
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioFileInfoDepthTest,
                         ::testing::Values(DepthCase{PcmContainer::wav, PcmEncoding::int16, 16},
                                           DepthCase{PcmContainer::wav, PcmEncoding::int24, 24},
                                           DepthCase{PcmContainer::wav, PcmEncoding::int32, 32},
                                           DepthCase{PcmContainer::wav, PcmEncoding::float32, 32},
                                           DepthCase{PcmContainer::wav, PcmEncoding::float64, 32},
                                           DepthCase{PcmContainer::wav, PcmEncoding::int8, 24},
                                           DepthCase{PcmContainer::aiff, PcmEncoding::int16, 16},
                                           DepthCase{PcmContainer::aiff, PcmEncoding::int24, 24}));

TEST(AudioFileInfoFileTest, CompressedFilesCountAs24BitAndNotPCM) {
    TempDir dir;
    std::vector<std::vector<float>> tone(2, std::vector<float>(44100, 0.25f));
    encodeAudioFile(dir / "song.MP3", tone, 44100, EncodedFormat::mp3);
    AudioFileInfo info = AudioFileInfo::fromFile(dir / "song.MP3");
    EXPECT_EQ(info.bitDepth, 24);
    EXPECT_NE(info.sourceFormatID, kFormatLinearPCM);
    EXPECT_EQ(info.fileExtension, "mp3");
    EXPECT_EQ(info.filename, "song.MP3");
}

TEST(AudioFileInfoFileTest, UnreadableInputFailsWithTheLibraryError) {
    TempDir dir;
    std::ofstream(dir / "notes.wav") << "this is not audio";
    EXPECT_ANY_THROW(AudioFileInfo::fromFile(dir / "notes.wav"));
    EXPECT_ANY_THROW(AudioFileInfo::fromFile(dir / "missing.wav"));
    EXPECT_ANY_THROW(AudioFileInfo::fromFile(dir.path()));
}

TEST(AudioFileInfoFileTest, SplitPairCombinesNamesAndSizes) {
    TempDir dir;
    PcmFormat format{PcmContainer::aiff, PcmEncoding::int16, 48000};
    auto left = dir / "Take 3.l.aif";
    auto right = dir / "Take 3.R.aif";
    writePcm(left, format, {noise(480, format.encoding, 1)});
    writePcm(right, format, {noise(480, format.encoding, 2)});
    AudioFileInfo info = AudioFileInfo::fromSplitPair(left, right);
    EXPECT_EQ(info.filename, "Take 3.aif");
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(info.url, left);
    EXPECT_EQ(info.fileSize, std::int64_t(std::filesystem::file_size(left) + std::filesystem::file_size(right)));
    EXPECT_EQ(info.sourceFormatID, kFormatLinearPCM);

    writePcm(dir / "x.L.WAV", {PcmContainer::wav}, {noise(10, PcmEncoding::int16, 1)});
    writePcm(dir / "x.R.WAV", {PcmContainer::wav}, {noise(10, PcmEncoding::int16, 2)});
    EXPECT_EQ(AudioFileInfo::fromSplitPair(dir / "x.L.WAV", dir / "x.R.WAV").filename, "x.wav");
}

SplitStereoError::Case splitErrorFor(const PcmFormat& leftFormat, std::size_t leftFrames,
                                     const PcmFormat& rightFormat, std::size_t rightFrames,
                                     const std::string& leftName = "Kick.L.wav") {
    TempDir dir;
    writePcm(dir / leftName, leftFormat, {noise(leftFrames, leftFormat.encoding, 1)});
    writePcm(dir / "Kick.R.wav", rightFormat, {noise(rightFrames, rightFormat.encoding, 2)});
    try {
        AudioFileInfo::fromSplitPair(dir / leftName, dir / "Kick.R.wav");
    } catch (const SplitStereoError& e) {
        return e.errorCase();
    }
    ADD_FAILURE() << "no SplitStereoError";
    return SplitStereoError::Case::invalidFilename;
}

TEST(AudioFileInfoFileTest, SplitPairMismatchesAreCheckedInOrder) {
    using Case = SplitStereoError::Case;
    PcmFormat base{PcmContainer::wav, PcmEncoding::int16, 48000};
    PcmFormat otherRate{PcmContainer::wav, PcmEncoding::int16, 44100};
    PcmFormat otherDepth{PcmContainer::wav, PcmEncoding::int24, 48000};
    // A rate and a length mismatch together report the rate.
    EXPECT_EQ(splitErrorFor(base, 100, otherRate, 90), Case::mismatchedSampleRate);
    EXPECT_EQ(splitErrorFor(base, 100, base, 90), Case::mismatchedFrameCount);
    EXPECT_EQ(splitErrorFor(base, 100, otherDepth, 100), Case::mismatchedBitDepth);
    EXPECT_EQ(splitErrorFor(base, 100, base, 100, ".L.wav"), Case::invalidFilename);
    EXPECT_EQ(splitErrorFor(base, 100, base, 100, "Kick_L.wav"), Case::invalidFilename);
    EXPECT_STREQ(SplitStereoError(Case::mismatchedFrameCount).what(),
                 "Split stereo pair has mismatched frame counts");
}

}  // namespace
}  // namespace twinfold
