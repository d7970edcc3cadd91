#include "conversion/ConverterFixture.h"

#include "audio_io/AudioFileReader.h"
#include "conversion/OutputFormat.h"
#include "support/CompressedFixtures.h"

#include <bit>
#include <chrono>
#include <future>
#include <set>
#include <tuple>
#include <utility>

namespace twinfold::test {
namespace {

// ---- every source depth comes out bit for bit --------------------------------

// Past a chunk boundary, and odd, so an 8-bit AIFF sound chunk needs a pad
// byte (which libsndfile 1.2 would count as one more frame unless the writer
// corrects the header).
constexpr std::size_t kFrames = AudioConverterService::chunkSize + 3;

using enum PcmContainer;
using enum PcmEncoding;

struct DepthCase {
    std::string name;
    PcmFormat source;
    std::string extension;
    int outputFormat;
    std::size_t frames = kFrames;
    double gain = 1.0;  // on the copied channel: 2 takes a float source to +6 dBFS
};

void PrintTo(const DepthCase& c, std::ostream* os) { *os << c.name; }

class SourceDepthTest : public ConverterFixture, public ::testing::WithParamInterface<DepthCase> {};

std::int32_t expectedFromFloat(double value) {
    const double scaled = std::nearbyint(double(float(value)) * 2147483648.0);
    return std::int32_t(std::clamp(scaled, -2147483648.0, 2147483647.0));
}

// The bit patterns of samples, so that float comparisons are exact to the bit.
std::vector<std::uint64_t> bitsOf(const std::vector<double>& samples) {
    std::vector<std::uint64_t> bits;
    for (double s : samples) bits.push_back(std::bit_cast<std::uint64_t>(s));
    return bits;
}

TEST_P(SourceDepthTest, MonoOutputIsTheChosenChannelExactly) {
    const DepthCase& c = GetParam();
    const PcmEncoding encoding = c.source.encoding;
    const fs::path source = dir / ("Song." + c.extension), output = dir / ("Song_mono." + c.extension);
    Signal right = fullRange(c.frames, encoding, 7);
    for (double& s : right) s = quantize(s * c.gain, encoding);
    writePcm(source, c.source, {fullRange(c.frames, encoding, 3), right});
    converter.convertToMono(source, output, ChannelSelection::right);

    const PcmFileInfo info = pcmFileInfo(output);
    EXPECT_EQ(soundFormat(output), c.outputFormat);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.sampleRate, 48000);
    const int encodingBits = c.outputFormat & SF_FORMAT_SUBMASK;
    const bool floatOutput = encodingBits == SF_FORMAT_FLOAT || encodingBits == SF_FORMAT_DOUBLE;
    if (floatOutput) {
        // Sample for sample, beyond full scale included: nothing clipped or rounded.
        const std::vector<double> written = readDoubles(output)[0];
        EXPECT_TRUE(bitsOf(written) == bitsOf(right));
        EXPECT_EQ(std::ranges::max(written), c.gain);
    } else {
        std::vector<std::int32_t> expected;
        for (double s : right) expected.push_back(isFloat(encoding) ? expectedFromFloat(s) : storedInt(s, encoding));
        expectSameSamples(readStoredInts(output)[0], expected);
    }
    if ((c.outputFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF) {
        // Plain big-endian AIFF, which has no floats: those need AIFF-C.
        const Bytes bytes = fileBytes(output);
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), floatOutput ? "AIFC" : "AIFF");
        // The sound chunk counts the samples alone, never the pad byte after them.
        const auto be = [&](std::size_t at, int n) {
            std::uint32_t v = 0;
            for (int i = 0; i < n; ++i) v = v << 8 | bytes[at + std::size_t(i)];
            return v;
        };
        const std::size_t comm = findId(bytes, "COMM") + 8, ssnd = findId(bytes, "SSND") + 4;
        EXPECT_EQ(be(ssnd, 4), 8 + be(ssnd + 4, 4) + be(comm + 2, 4) * ((be(comm + 6, 2) + 7) / 8));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SourceDepthTest,
    ::testing::Values(
        DepthCase{"wav8", {wav, int8}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
        DepthCase{"wav16", {wav, int16}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        DepthCase{"wav24", {wav, int24}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        DepthCase{"wav32", {wav, int32}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        DepthCase{"rf64_24", {rf64, int24}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        DepthCase{"aiff8", {aiff, int8}, "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8},
        DepthCase{"aiff8Even", {aiff, int8}, "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1000},
        DepthCase{"aiff16", {aiff, int16}, "AIF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        DepthCase{"aiff24", {aiff, int24}, "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        DepthCase{"aiff32", {aiff, int32}, "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_32},
        DepthCase{"aifcLittle16", {aifc, int16}, "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        DepthCase{"float32", {wav, float32}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        DepthCase{"float64", {wav, float64}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, kFrames, 0.999},
        // A double at full scale may be one just above it as far as a 32-bit peak can tell.
        DepthCase{"float64FullScale", {wav, float64}, "wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1000},
        DepthCase{"float32Beyond", {wav, float32}, "wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kFrames, 2.0},
        DepthCase{"float64Beyond", {wav, float64}, "wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, kFrames, 2.0},
        DepthCase{"aiffFloat32", {aiff, float32}, "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_32},
        DepthCase{"aiffFloat32Beyond", {aiff, float32}, "aif", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1000, 2.0},
        DepthCase{"aiffFloat64Beyond", {aiff, float64}, "aiff", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, 1000, 2.0}),
    [](const auto& info) { return info.param.name; });

// Depths libsndfile cannot write, so no source above has them.
TEST(OutputBitDepthTest, RoundsUpToWholeBytesWithinThirtyTwo) {
    for (const auto& [stored, output] : {std::pair{0, 24}, {12, 16}, {20, 24}, {64, 32}}) {
        EXPECT_EQ(outputBitDepth(stored), output) << stored << " bits";
    }
}

TEST_F(ConverterFixture, CompressedSourcesBecome24BitWav) {
    for (const EncodedFormat format : {EncodedFormat::mp3, EncodedFormat::m4aAac}) {
        const fs::path source = writeCompressed(dir.path(), "Song" + extensionFor(format),
                                                {noise(22050, 1, 0.25f), noise(22050, 2, 0.25f)}, format);
        const fs::path output = dir / ("Song" + extensionFor(format) + "_mono.wav");
        converter.convertToMono(source, output, ChannelSelection::right);
        EXPECT_EQ(soundFormat(output), SF_FORMAT_WAV | SF_FORMAT_PCM_24);

        auto reader = openAudioFile(source);
        PCMBuffer decoded(reader->channelCount(), 1 << 20);
        reader->read(decoded, 1 << 20);
        const std::vector<float> written = readFloats(output)[0];
        ASSERT_EQ(written.size(), decoded.frameLength()) << source;
        for (std::size_t i = 0; i < written.size(); ++i) {
            ASSERT_NEAR(written[i], decoded.channel(1)[i], 1.01 / (1 << 23)) << source << " frame " << i;
        }
    }
}

// Encodings whose stored byte or nibble says nothing of the decoded
// precision: µ-law and A-law expand to 13–14 bits, IMA ADPCM to 16. An output
// at the stored width (8 bits) would throw most of each sample away.
TEST_F(ConverterFixture, CompandedAndAdpcmWavSourcesKeepTheirDecodedSamples) {
    for (const int encoding : {SF_FORMAT_ULAW, SF_FORMAT_ALAW, SF_FORMAT_IMA_ADPCM}) {
        const fs::path source = dir / ("Coded" + std::to_string(encoding) + ".wav");
        writeCodedWav(source, encoding);

        const fs::path output = dir / ("Coded" + std::to_string(encoding) + "_mono.wav");
        converter.convertToMono(source, output, ChannelSelection::right);
        EXPECT_EQ(soundFormat(output), SF_FORMAT_WAV | SF_FORMAT_PCM_24) << source;
        expectSameSamples(readStoredInts(output)[0], readStoredInts(source)[1]);
    }
}

// ---- progress ----------------------------------------------------------------

// A peak pass, when normalising, takes the first half of the range. The
// writing pass of a stereo operation takes half of what is left; that of a
// channel split all of it.
TEST_F(ConverterFixture, ProgressSharesTheRangeBetweenThePasses) {
    const fs::path source = stereoSource("Long.wav", 2'500'000);
    const SplitPair pair = writeSplitPair(dir.path(), "Kick", ".wav", {}, noise(1000, int16, 1), noise(1000, int16, 2));
    ScanResultFields kick{.fileInfo = {.path = pair.left, .filename = "Kick.wav"}, .pairedFilePath = pair.right};
    AppSettings normalising{.normalizationEnabled = true, .normalizationTargetdBFS = -6.0f};
    const std::vector<std::pair<std::function<void()>, std::vector<double>>> rows{
        {[&] { converter.convertToMono(source, dir / "a.wav", ChannelSelection::left, {}, recorder()); },
         {0.2, 0.4, 0.5, 1.0}},
        {[&] { converter.splitToTwoMono(source, dir / "c.wav", dir / "d.wav", -6.0f, recorder()); },
         {0.25, 0.5, 0.7, 0.9, 1.0, 1.0}},
        {[&] { converter.convertSplitPairToTwo(ScanResult(kick), normalising, recorder()); },
         {0.25, 0.5, 0.5, 0.75, 1.0, 1.0}},
        {[&] { converter.splitAllChannels(source, std::nullopt, AppSettings{}, recorder()); }, {0.4, 0.8, 1.0, 1.0}},
    };
    for (const auto& [operation, expected] : rows) {
        progress.clear();
        operation();
        ASSERT_EQ(progress.size(), expected.size()) << ::testing::PrintToString(progress);
        for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(progress[i], expected[i], 1e-9) << i;
    }
}

TEST_F(ConverterFixture, AnEmptySourceGivesAnEmptyOutputOfItsDepth) {
    writePcm(dir / "Empty.wav", {wav, int24}, Channels(2));
    converter.convertToMono(dir / "Empty.wav", dir / "Empty_mono.wav", ChannelSelection::left, -1.0f, recorder());
    EXPECT_EQ(pcmFileInfo(dir / "Empty_mono.wav").frames, 0);
    EXPECT_EQ(soundFormat(dir / "Empty_mono.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(progress.back(), 1.0);
}

// ---- refusals ----------------------------------------------------------------

// Each is refused before anything is written, and every file stays as it was.
TEST_F(ConverterFixture, RefusalsWriteNothing) {
    const fs::path source = stereoSource("Song.wav", 100), mono = dir / "Mono.wav", taken = dir / "Taken.wav";
    writePcm(mono, {}, {noise(100, int16, 1)});
    std::ofstream(taken) << "precious";
    const Bytes before = fileBytes(source);
    const AppSettings noSuffix{.namingSuffix = ""}, upAFolder{.namingSuffix = "/../escaped"};  // "": the source itself
    const ScanResultFields song{.fileInfo = {.path = source}};
    const std::vector<std::pair<std::function<void()>, Case>> refusals{
        {[&] { converter.convertToMono(source, taken, ChannelSelection::left); }, Case::fileExists},
        {[&] { converter.splitToTwoMono(source, dir / "L.wav", taken); }, Case::fileExists},
        {[&] { converter.convertFiles({ScanResult(song)}, noSuffix); }, Case::fileExists},
        {[&] { converter.convertFiles({ScanResult(song)}, upAFolder); }, Case::invalidSuffix},
        {[&] { converter.convertToMono(mono, dir / "out.wav", ChannelSelection::left); }, Case::invalidFormat},
        {[&] { converter.splitToTwoMono(mono, dir / "l.wav", dir / "r.wav"); }, Case::invalidFormat}};
    for (const auto& [operation, expected] : refusals) EXPECT_EQ(failureOf(operation), expected);
    EXPECT_EQ(thrownMessage<ConversionError>(refusals[0].first), "Output file already exists: Taken.wav");
    EXPECT_EQ(fileBytes(source), before);
    EXPECT_EQ(fileBytes(taken), Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Mono.wav", "Song.wav", "Taken.wav"}));
}

// The folder of a dropped link is written to like any other.
TEST_F(ConverterFixture, AFolderReachedThroughALinkGetsItsOutput) {
    stereoSource("Song.wav", 1000);
    fs::create_directory_symlink(dir.path(), dir / "link");
    converter.convertToMono(dir / "link" / "Song.wav", dir / "link" / "out.wav", ChannelSelection::left);
    EXPECT_EQ(pcmFileInfo(dir / "out.wav").frames, 1000);
}

// ---- cancellation ------------------------------------------------------------

// A cancel from another thread stops the operation at its next chunk and
// deletes its output. The flag stays set until cleared, so a later file
// fails before it measures or writes anything.
TEST_F(ConverterFixture, CancelFromAnotherThreadSticksUntilCleared) {
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
    // Until it is complete the output has only a hidden temporary name.
    const auto listing = folderListing(dir.path());
    EXPECT_EQ(listing.size(), 2u);
    EXPECT_TRUE(listing.front().starts_with(".out.twinfold-") && listing.front().ends_with(".wav")) << listing.front();
    converter.cancel();
    cancelled.set_value();
    EXPECT_EQ(result.get(), Case::cancelled);
    EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"Long.wav"});

    const auto convertShort = [&] {
        converter.convertToMono(dir / "Short.wav", dir / "a.wav", ChannelSelection::left, -1.0f, recorder());
    };
    stereoSource("Short.wav", 1000);
    EXPECT_EQ(failureOf(convertShort), Case::cancelled);
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Long.wav", "Short.wav"}));
    converter.clearCancelled();
    convertShort();
    EXPECT_EQ(pcmFileInfo(dir / "a.wav").frames, 1000);
}

// ---- the batch path ----------------------------------------------------------

TEST_F(ConverterFixture, ConvertFilesNormalisesTheLeftChannelOfEachInOrder) {
    std::vector<ScanResult> results;
    for (const std::string name : {"One.wav", "Two.wav"}) {
        const ScanResultFields fields{
            .fileInfo = {.path = stereoSource(name, 1000, std::uint32_t(name[0])), .filename = name}};
        results.emplace_back(fields);
    }
    const AppSettings settings{.normalizationEnabled = true, .normalizationTargetdBFS = -3.0f};
    std::set<std::tuple<int, int, std::string>> files;
    double overall = 0;
    converter.cancel();  // a batch starts afresh
    const auto outputs =
        converter.convertFiles(results, settings, [&](int started, int total, const std::string& name, double f) {
            files.emplace(started, total, name);
            EXPECT_GE(f, overall);
            overall = f;
        });
    EXPECT_EQ(outputs, (std::vector<fs::path>{dir / "One_mono.wav", dir / "Two_mono.wav"}));
    EXPECT_EQ(files, (decltype(files){{1, 2, "One.wav"}, {2, 2, "Two.wav"}}));
    EXPECT_EQ(overall, 1.0);
    // The single-file operation's samples are pinned by the normalisation tests.
    converter.convertToMono(dir / "Two.wav", dir / "reference.wav", ChannelSelection::left, -3.0f);
    EXPECT_EQ(readStoredInts(outputs[1]), readStoredInts(dir / "reference.wav"));
}

}  // namespace
}  // namespace twinfold::test
