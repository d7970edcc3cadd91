#include "conversion/ConverterFixture.h"

#include "audio_io/AudioFileReader.h"
#include "conversion/OutputFormat.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <future>
#include <limits>
#include <thread>
#include <utility>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using Case = ConversionError::Case;

// ---- every source depth comes out bit for bit --------------------------------

struct DepthCase {
    std::string name;
    int sourceFormat;
    std::string extension;
    int outputFormat;
    int bits;  // 0: a float source
};

void PrintTo(const DepthCase& c, std::ostream* os) { *os << c.name; }

class SourceDepthTest : public ConverterFixture, public ::testing::WithParamInterface<DepthCase> {};

constexpr double kLsb24 = 1.0 / (1 << 23);

// One channel as our own reader decodes it.
std::vector<float> decodedChannel(const fs::path& path, int channel) {
    auto reader = openAudioFile(path);
    PCMBuffer buffer(reader->channelCount(), 4096);
    std::vector<float> samples;
    for (reader->read(buffer, 4096); buffer.frameLength() > 0; reader->read(buffer, 4096)) {
        samples.insert(samples.end(), buffer.channel(channel), buffer.channel(channel) + buffer.frameLength());
    }
    return samples;
}

// Two chunks and a bit, so a chunk boundary is crossed.
constexpr std::size_t kFrames = AudioConverterService::chunkSize + 3;

void expectSameSamples(const std::vector<std::int32_t>& actual, const std::vector<std::int32_t>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    const auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin());
    EXPECT_TRUE(a == actual.end()) << "first difference at frame " << (a - actual.begin()) << ": " << *a
                                   << " instead of " << *e;
}

std::int32_t expectedFromFloat(double value) {
    const double scaled = std::nearbyint(double(float(value)) * 2147483648.0);
    return std::int32_t(std::clamp(scaled, -2147483648.0, 2147483647.0));
}

TEST_P(SourceDepthTest, MonoOutputIsTheChosenChannelExactly) {
    const DepthCase& c = GetParam();
    const fs::path source = dir / ("Song." + c.extension);
    std::vector<std::int32_t> expected;
    if (c.bits > 0) {
        const auto right = randomSamples(kFrames, c.bits, 7);
        writeSound(source, c.sourceFormat, 2, interleave({randomSamples(kFrames, c.bits, 3), right}));
        expected = right;
    } else {
        std::vector<double> samples(kFrames * 2);
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = 1.25 * std::sin(double(i) * 0.37);
        writeSoundDoubles(source, c.sourceFormat, 2, samples);
        for (std::size_t i = 1; i < samples.size(); i += 2) expected.push_back(expectedFromFloat(samples[i]));
    }
    const fs::path output = dir / ("Song_mono." + c.extension);
    converter.convertToMono(source, output, ChannelSelection::right);

    const SoundFile result = readSound(output);
    EXPECT_EQ(result.format, c.outputFormat);
    EXPECT_EQ(result.channels, 1);
    EXPECT_EQ(result.sampleRate, 48000);
    expectSameSamples(result.samples, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SourceDepthTest,
    ::testing::Values(
        DepthCase{"wav8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8},
        DepthCase{"wav16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16},
        DepthCase{"wav24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24},
        DepthCase{"wav32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32},
        DepthCase{"rf64_24", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24},
        DepthCase{"aiff16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 16},
        DepthCase{"aiff24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24},
        DepthCase{"aiff32", SF_FORMAT_AIFF | SF_FORMAT_PCM_32, "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_32, 32},
        // Little-endian AIFF-C in, plain big-endian AIFF out.
        DepthCase{"aifcLittle16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, "aif",
                  SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 16},
        DepthCase{"float32", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0},
        DepthCase{"float64", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0}),
    [](const auto& info) { return info.param.name; });

// libsndfile 1.2 counts the pad byte of an odd-length 8-bit AIFF sound chunk
// as one more frame, so such an output would read back one zero sample too
// long unless the writer corrects the header.
TEST_F(ConverterFixture, OddLength8BitAiffKeepsItsLength) {
    const auto right = randomSamples(1001, 8, 5);
    writeSound(dir / "Song.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, interleave({right, right}));
    converter.convertToMono(dir / "Song.aif", dir / "Song_mono.aif", ChannelSelection::right);
    expectSameSamples(readSound(dir / "Song_mono.aif").samples, right);
}

TEST_F(ConverterFixture, EvenLength8BitAiffIsExact) {
    const auto right = randomSamples(1000, 8, 5);
    writeSound(dir / "Song.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, interleave({randomSamples(1000, 8, 4), right}));
    converter.convertToMono(dir / "Song.aif", dir / "Song_mono.aif", ChannelSelection::right);
    EXPECT_EQ(readSound(dir / "Song_mono.aif").format, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8);
    expectSameSamples(readSound(dir / "Song_mono.aif").samples, right);
}

TEST_F(ConverterFixture, AiffOutputIsBigEndianAiff) {
    const fs::path source = dir / "Song.aif";
    writeSound(source, SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 2, randomSamples(200, 16, 1));
    converter.convertToMono(source, dir / "Song_mono.aif", ChannelSelection::left);
    const Bytes bytes = fileBytes(dir / "Song_mono.aif");
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "FORM");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "AIFF");
}

TEST_F(ConverterFixture, CompressedSourcesBecome24BitWav) {
    for (const std::string name : {"Song.mp3", "Song.m4a"}) {
        const fs::path source = dir / name;
        if (!encodeWithFfmpeg(source)) GTEST_SKIP() << "the ffmpeg tool cannot encode " << name;
        const fs::path output = dir / (name + "_mono.wav");
        converter.convertToMono(source, output, ChannelSelection::right);

        EXPECT_EQ(readSound(output).format, SF_FORMAT_WAV | SF_FORMAT_PCM_24) << name;
        const auto decoded = decodedChannel(source, 1);
        const auto written = readSoundDoubles(output);
        ASSERT_EQ(written.size(), decoded.size()) << name;
        for (std::size_t i = 0; i < written.size(); ++i) {
            ASSERT_NEAR(written[i], decoded[i], kLsb24 * 1.01) << name << " frame " << i;
        }
    }
}

TEST_F(ConverterFixture, OutputSettingsFollowTheSource) {
    const AudioFormatInfo format{.sampleRate = 44100, .channelCount = 1};
    writeSoundDoubles(dir / "f.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, {0.5});
    const WriterSettings fromFloat = converter.outputSettings(dir / "f.wav", format, 1);
    EXPECT_EQ(fromFloat, (WriterSettings{.sampleRate = 44100, .channelCount = 1, .bitDepth = 32}));
    // A lossy name means 24-bit WAV without looking inside; a missing file 24.
    EXPECT_EQ(converter.outputSettings(dir / "missing.MP3", format, 2).bitDepth, 24);
    EXPECT_EQ(converter.outputSettings(dir / "missing.aif", format, 2).bitDepth, 24);
    EXPECT_TRUE(converter.outputSettings(dir / "missing.aif", format, 2).isBigEndian);
}

TEST(OutputBitDepthTest, WholeIntegerDepths) {
    EXPECT_EQ(outputBitDepth(0), 24);
    EXPECT_EQ(outputBitDepth(8), 8);
    EXPECT_EQ(outputBitDepth(12), 16);
    EXPECT_EQ(outputBitDepth(16), 16);
    EXPECT_EQ(outputBitDepth(20), 24);
    EXPECT_EQ(outputBitDepth(24), 24);
    EXPECT_EQ(outputBitDepth(32), 32);
    EXPECT_EQ(outputBitDepth(64), 32);
}

// ---- normalisation -----------------------------------------------------------

TEST(NormalizationGainTest, TargetOverPeakAboveTheFloor) {
    EXPECT_NEAR(*normalizationGain(-1.0f, 0.5f), 1.7825f, 1e-4);
    EXPECT_NEAR(*normalizationGain(-3.0f, 0.25f), 2.8318f, 1e-4);
    EXPECT_NEAR(*normalizationGain(-6.0f, 2.0f), 0.2506f, 1e-4);  // lowers too
    EXPECT_FALSE(normalizationGain(-1.0f, 0.001f));
    EXPECT_FALSE(normalizationGain(-1.0f, 0.0f));
    EXPECT_TRUE(normalizationGain(-1.0f, 0.0011f));
}

// A 24-bit stereo file whose channels peak at exactly `leftPeak` and `rightPeak`.
fs::path peakedSource(const fs::path& path, double leftPeak, double rightPeak, std::size_t frames = 5000) {
    std::vector<std::vector<std::int32_t>> channels;
    for (double peak : {leftPeak, rightPeak}) {
        auto samples = randomSamples(frames, 24, unsigned(peak * 1000) + 1);
        // On the 24-bit grid and not above `peak`.
        const double full = std::floor(std::ldexp(peak, 23)) * 256;
        for (auto& s : samples) s = std::int32_t(std::nearbyint(double(s) * peak) / 256) * 256;
        samples[frames / 2] = std::int32_t(-full);  // the peak itself, negative
        channels.push_back(samples);
    }
    writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, interleave(channels));
    return path;
}

// Each sample within two steps of the output's depth of source × gain.
void expectScaledCopy(const fs::path& output, const std::vector<std::int32_t>& source, std::optional<float> gain,
                      int bits = 24) {
    ASSERT_TRUE(gain);
    const double step = std::ldexp(1.0, 1 - bits);
    const auto written = readSoundDoubles(output);
    ASSERT_EQ(written.size(), source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        ASSERT_NEAR(written[i], std::ldexp(double(source[i]), -31) * *gain, 2 * step) << "frame " << i;
    }
}

TEST_F(ConverterFixture, NormalisesToTheTargetPeak) {
    const fs::path source = peakedSource(dir / "Song.wav", 0.5, 0.25);
    converter.convertToMono(source, dir / "Song_mono.wav", ChannelSelection::left, -1.0f);
    expectScaledCopy(dir / "Song_mono.wav", readSound(source).channel(0), normalizationGain(-1.0f, 0.5f));

    // Each side gets its own gain.
    converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav", -3.0f);
    expectScaledCopy(dir / "L.wav", readSound(source).channel(0), normalizationGain(-3.0f, 0.5f));
    expectScaledCopy(dir / "R.wav", readSound(source).channel(1), normalizationGain(-3.0f, 0.25f));
}

TEST_F(ConverterFixture, QuietChannelIsNotScaled) {
    const fs::path source = peakedSource(dir / "Quiet.wav", 0.001, 0.5);
    converter.convertToMono(source, dir / "Quiet_mono.wav", ChannelSelection::left, -1.0f);
    EXPECT_EQ(readSound(dir / "Quiet_mono.wav").samples, readSound(source).channel(0));
}

// ---- progress ----------------------------------------------------------------

TEST_F(ConverterFixture, ProgressHalvesTheWritingPass) {
    const fs::path source = stereoSource("Long.wav", 2'500'000);
    converter.convertToMono(source, dir / "a.wav", ChannelSelection::left, std::nullopt, recorder());
    expectProgress(progress, {0.2, 0.4, 0.5, 1.0});

    progress.clear();
    converter.convertToMono(source, dir / "b.wav", ChannelSelection::left, -6.0f, recorder());
    expectProgress(progress, {0.5, 0.7, 0.9, 1.0, 1.0});

    progress.clear();
    converter.splitToTwoMono(source, dir / "c.wav", dir / "d.wav", -6.0f, recorder());
    expectProgress(progress, {0.25, 0.5, 0.7, 0.9, 1.0, 1.0});
}

TEST_F(ConverterFixture, EmptyStereoFileGivesAnEmptyOutput) {
    writeSound(dir / "Empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, {});
    converter.convertToMono(dir / "Empty.wav", dir / "Empty_mono.wav", ChannelSelection::left, -1.0f, recorder());
    const SoundFile result = readSound(dir / "Empty_mono.wav");
    EXPECT_EQ(result.frames, 0);
    EXPECT_EQ(result.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    expectProgress(progress, {0.5, 1.0});
}

// ---- refusals ----------------------------------------------------------------

TEST_F(ConverterFixture, ExistingOutputIsNeverTouched) {
    const fs::path source = stereoSource("Song.wav", 100);
    std::ofstream(dir / "Song_mono.wav") << "precious";
    try {
        converter.convertToMono(source, dir / "Song_mono.wav", ChannelSelection::left);
        FAIL() << "no error";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.errorCase(), Case::fileExists);
        EXPECT_STREQ(error.what(), "Output file already exists: Song_mono.wav");
    }
    EXPECT_EQ(fileBytes(dir / "Song_mono.wav"), Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));

    // With two outputs the left one is named first; a taken right one stops
    // the left from being created.
    std::ofstream(dir / "R.wav") << "precious";
    EXPECT_EQ(failureOf([&] { converter.splitToTwoMono(source, dir / "Song_mono.wav", dir / "R.wav"); }),
              Case::fileExists);
    try {
        converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav");
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.fileName(), "R.wav");
    }
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"R.wav", "Song.wav", "Song_mono.wav"}));
}

TEST_F(ConverterFixture, EmptySuffixNamesTheSourceItselfAndIsRefused) {
    const fs::path source = stereoSource("Song.wav", 100);
    const Bytes before = fileBytes(source);
    AppSettings settings;
    settings.namingSuffix = "";
    ScanResultFields fields;
    fields.fileInfo.url = source;
    EXPECT_EQ(failureOf([&] { converter.convertFiles({ScanResult(fields)}, settings); }), Case::fileExists);
    EXPECT_EQ(fileBytes(source), before);
}

TEST_F(ConverterFixture, MonoSourceIsInvalid) {
    writeSound(dir / "Mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, randomSamples(100, 16, 1));
    EXPECT_EQ(failureOf([&] { converter.convertToMono(dir / "Mono.wav", dir / "out.wav", ChannelSelection::left); }),
              Case::invalidFormat);
    EXPECT_EQ(failureOf([&] { converter.splitToTwoMono(dir / "Mono.wav", dir / "l.wav", dir / "r.wav"); }),
              Case::invalidFormat);
    EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"Mono.wav"});
}

// ---- cancellation ------------------------------------------------------------

TEST_F(ConverterFixture, CancelFromProgressDeletesTheOutputAndSticks) {
    const fs::path source = stereoSource("Long.wav", 2'500'000);
    auto cancelAtFirstReport = [&](double) { converter.cancel(); };
    EXPECT_EQ(failureOf([&] {
                  converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav", std::nullopt, cancelAtFirstReport);
              }),
              Case::cancelled);
    EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"Long.wav"});

    // The flag stays set: the next file fails before writing anything.
    EXPECT_EQ(failureOf([&] {
                  converter.convertToMono(source, dir / "a.wav", ChannelSelection::left, -1.0f, recorder());
              }),
              Case::cancelled);
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"Long.wav"});

    converter.clearCancelled();
    converter.convertToMono(source, dir / "a.wav", ChannelSelection::left);
    EXPECT_EQ(readSound(dir / "a.wav").frames, 2'500'000);
}

TEST_F(ConverterFixture, CancelFromAnotherThread) {
    const fs::path source = stereoSource("Long.wav", 2'500'000);
    std::promise<void> reached, cancelled;
    auto onProgress = [&, first = true](double) mutable {
        if (!std::exchange(first, false)) return;
        reached.set_value();
        cancelled.get_future().wait();
    };
    auto result = std::async(std::launch::async, [&] {
        return failureOf([&] {
            converter.convertToMono(source, dir / "out.wav", ChannelSelection::left, std::nullopt, onProgress);
        });
    });
    ASSERT_EQ(reached.get_future().wait_for(std::chrono::minutes(2)), std::future_status::ready);
    EXPECT_TRUE(fs::exists(dir / "out.wav"));
    converter.cancel();
    cancelled.set_value();
    EXPECT_EQ(result.get(), Case::cancelled);
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
    EXPECT_TRUE(converter.isCancelled());
}

// ---- the batch path ----------------------------------------------------------

TEST_F(ConverterFixture, ConvertFilesNormalisesTheLeftChannelOfEachInOrder) {
    std::vector<ScanResult> results;
    for (const std::string name : {"One.wav", "Two.wav"}) {
        ScanResultFields fields;
        fields.fileInfo.url = stereoSource(name, 1000, unsigned(name.size() + name[0]));
        fields.fileInfo.filename = name;
        results.emplace_back(fields);
    }
    AppSettings settings;
    settings.normalizationEnabled = true;
    std::vector<std::string> reports;
    converter.cancel();  // a batch starts afresh
    const auto outputs = converter.convertFiles(results, settings,
                                                [&](int started, int total, const std::string& name, double overall) {
                                                    reports.push_back(std::to_string(started) + "/" +
                                                                      std::to_string(total) + " " + name + " " +
                                                                      std::to_string(overall));
                                                });
    EXPECT_EQ(outputs, (std::vector<fs::path>{dir / "One_mono.wav", dir / "Two_mono.wav"}));
    EXPECT_EQ(reports, (std::vector<std::string>{"1/2 One.wav 0.250000", "1/2 One.wav 0.500000",
                                                 "1/2 One.wav 0.500000", "2/2 Two.wav 0.750000",
                                                 "2/2 Two.wav 1.000000", "2/2 Two.wav 1.000000"}));
    // randomSamples puts full scale at the start of each channel.
    expectScaledCopy(outputs[0], readSound(dir / "One.wav").channel(0), normalizationGain(-6.0f, 1.0f), 16);
}

}  // namespace
}  // namespace twinfold::test
