// The converter on real files: every depth bit for bit, refusals,
// cancellation, normalised samples, and faults of the disk and the names;
// and its chunk loop with stand-in files.
#include "conversion/ConverterFixture.h"

#include "conversion/ChannelStreamer.h"
#include "support/MemoryReader.h"

#include "audio_io/ByteOrder.h"
#include "conversion/OutputFormat.h"
#include "support/CompressedFixtures.h"

#include <bit>
#include <chrono>
#include <future>
#include <numeric>
#include <tuple>

namespace twinfold::test {

// The name, the source's format and the output's extension and libsndfile
// format, the frames, and the gain on the copied channel (2 takes a float
// source to +6 dBFS).
using DepthCase = std::tuple<std::string, PcmFormat, std::string, int, std::size_t, double>;

// The name, the format, the channel converted (the left is louder noise),
// the target and the samples expected at the output's depth.
using NormalisedCase = std::tuple<std::string, PcmFormat, Signal, float, std::vector<std::int64_t>>;

// Each prints as its name (found through PcmFormat's namespace).
void PrintTo(const DepthCase& c, std::ostream* os) { *os << std::get<0>(c); }
void PrintTo(const NormalisedCase& c, std::ostream* os) { *os << std::get<0>(c); }

namespace {

// ---- every source depth comes out bit for bit --------------------------------

// Past a chunk boundary, and odd, so an 8-bit AIFF sound chunk needs a pad
// byte (which libsndfile 1.2 would count as one more frame unless the writer
// corrects the header).
constexpr std::size_t kFrames = AudioConverterService::chunkSize + 3;

using enum PcmContainer;
using enum PcmEncoding;

class SourceDepthTest : public ConverterFixture, public ::testing::WithParamInterface<DepthCase> {};

std::int32_t expectedFromFloat(double value) {
    const double scaled = std::nearbyint(double(float(value)) * 2147483648.0);
    return std::int32_t(std::clamp(scaled, -2147483648.0, 2147483647.0));
}

// Equal to the bit (so −0 is not 0 and a NaN equals itself).
bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

TEST_P(SourceDepthTest, MonoOutputIsTheChosenChannelExactly) {
    const auto& [name, format, extension, outputFormat, frames, gain] = GetParam();
    const PcmEncoding encoding = format.encoding;
    const fs::path source = dir / ("Song." + extension), output = dir / ("Song_mono." + extension);
    Signal right = fullRange(frames, encoding, 7);
    for (double& s : right) s = quantize(s * gain, encoding);
    writePcm(source, format, {fullRange(frames, encoding, 3), right});
    converter.convertToMono(source, output, ChannelSelection::right);

    const PcmFileInfo info = pcmFileInfo(output);
    EXPECT_EQ(std::tuple(soundFormat(output), info.channels, info.sampleRate), std::tuple(outputFormat, 1, 48000));
    const int encodingBits = outputFormat & SF_FORMAT_SUBMASK;
    const bool floatOutput = encodingBits == SF_FORMAT_FLOAT || encodingBits == SF_FORMAT_DOUBLE;
    if (floatOutput) {
        // Sample for sample, beyond full scale included: nothing clipped or rounded.
        EXPECT_TRUE(std::ranges::equal(readDoubles(output)[0], right, sameBits));
    } else {
        std::vector<std::int32_t> expected;
        for (double s : right) expected.push_back(isFloat(encoding) ? expectedFromFloat(s) : storedInt(s, encoding));
        expectSameSamples(readStoredInts(output)[0], expected);
    }
    if ((outputFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF) {
        // Plain big-endian AIFF, which has no floats: those need AIFF-C.
        const Bytes bytes = fileBytes(output);
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), floatOutput ? "AIFC" : "AIFF");
        // The sound chunk counts the samples alone, never the pad byte after them.
        const std::uint8_t *comm = &bytes[findId(bytes, "COMM") + 8], *ssnd = &bytes[findId(bytes, "SSND") + 4];
        EXPECT_EQ(loadBE32(ssnd), 8 + loadBE32(ssnd + 4) + loadBE32(comm + 2) * ((loadBE16(comm + 6) + 7) / 8u));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SourceDepthTest,
    ::testing::Values(
        DepthCase{"wav8", {wav, int8}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, kFrames, 1.0},
        DepthCase{"wav16", {wav, int16}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, kFrames, 1.0},
        DepthCase{"wav24", {wav, int24}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, kFrames, 1.0},
        DepthCase{"wav32", {wav, int32}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, kFrames, 1.0},
        DepthCase{"rf64_24", {rf64, int24}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, kFrames, 1.0},
        DepthCase{"aiff8", {aiff, int8}, "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, kFrames, 1.0},
        DepthCase{"aiff8Even", {aiff, int8}, "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1000, 1.0},
        DepthCase{"aiff16", {aiff, int16}, "AIF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, kFrames, 1.0},
        DepthCase{"aiff24", {aiff, int24}, "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, kFrames, 1.0},
        DepthCase{"aiff32", {aiff, int32}, "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_32, kFrames, 1.0},
        DepthCase{"aifcLittle16", {aifc, int16}, "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, kFrames, 1.0},
        DepthCase{"float32", {wav, float32}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, kFrames, 1.0},
        DepthCase{"float64", {wav, float64}, "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, kFrames, 0.999},
        // A double at full scale may be one just above it as far as a 32-bit peak can tell.
        DepthCase{"float64FullScale", {wav, float64}, "wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1000, 1.0},
        DepthCase{"float32Beyond", {wav, float32}, "wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kFrames, 2.0},
        DepthCase{"float64Beyond", {wav, float64}, "wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, kFrames, 2.0},
        DepthCase{"aiffFloat32", {aiff, float32}, "aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_32, kFrames, 1.0},
        DepthCase{"aiffFloat32Beyond", {aiff, float32}, "aif", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1000, 2.0},
        DepthCase{"aiffFloat64Beyond", {aiff, float64}, "aiff", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, 1000, 2.0}),
    [](const auto& info) { return std::get<0>(info.param); });

// Depths libsndfile cannot write, so no source above has them.
TEST(OutputBitDepthTest, RoundsUpToWholeBytesWithinThirtyTwo) {
    for (const auto& [stored, output] : {std::pair{0, 24}, {12, 16}, {20, 24}, {64, 32}})
        EXPECT_EQ(outputBitDepth(stored), output) << stored << " bits";
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
        for (std::size_t i = 0; i < written.size(); ++i)
            ASSERT_NEAR(written[i], decoded.channel(1)[i], 1.01 / (1 << 23)) << source << " frame " << i;
    }
}

// Encodings whose stored byte or nibble says nothing of the decoded
// precision: µ-law and A-law expand to 13–14 bits, IMA ADPCM to 16. An output
// at the stored width (8 bits) would throw most of each sample away.
TEST_F(ConverterFixture, CompandedAndAdpcmWavSourcesKeepTheirDecodedSamples) {
    for (const int encoding : {SF_FORMAT_ULAW, SF_FORMAT_ALAW, SF_FORMAT_IMA_ADPCM}) {
        const std::string name = "Coded" + std::to_string(encoding);
        const fs::path source = dir / (name + ".wav"), output = dir / (name + "_mono.wav");
        writeCodedWav(source, encoding);
        converter.convertToMono(source, output, ChannelSelection::right);
        EXPECT_EQ(soundFormat(output), SF_FORMAT_WAV | SF_FORMAT_PCM_24) << source;
        expectSameSamples(readStoredInts(output)[0], readStoredInts(source)[1]);
    }
}

TEST_F(ConverterFixture, AnEmptySourceGivesAnEmptyOutputOfItsDepth) {
    writePcm(dir / "Empty.wav", {wav, int24}, Channels(2));
    converter.convertToMono(dir / "Empty.wav", dir / "Empty_mono.wav", ChannelSelection::left, -1.0f);
    EXPECT_EQ(std::pair(pcmFileInfo(dir / "Empty_mono.wav").frames, soundFormat(dir / "Empty_mono.wav")),
              std::pair(std::int64_t(0), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
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
    EXPECT_TRUE(fileBytes(source) == before && fileText(taken) == "precious");
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
    EXPECT_TRUE(listing.size() == 2 && listing.front().starts_with(".out.twinfold-") &&
                listing.front().ends_with(".wav"))
        << listing.front();
    converter.cancel();
    cancelled.set_value();
    EXPECT_EQ(result.get(), Case::cancelled);
    EXPECT_EQ(folderListing(dir.path()), std::vector<std::string>{"Long.wav"});

    bool measured = false;
    const auto convertShort = [&] {
        converter.convertToMono(dir / "Short.wav", dir / "a.wav", ChannelSelection::left, -1.0f,
                                [&](double) { measured = true; });
    };
    stereoSource("Short.wav", 1000);
    EXPECT_EQ(failureOf(convertShort), Case::cancelled);
    EXPECT_TRUE(!measured && folderListing(dir.path()) == (std::vector<std::string>{"Long.wav", "Short.wav"}));
    converter.clearCancelled();
    convertShort();
    EXPECT_EQ(pcmFileInfo(dir / "a.wav").frames, 1000);
}

// ---- normalised samples -------------------------------------------------------

// Normalised outputs sample for sample, against values worked out by hand:
// each source peaks where the gain to the target is a power of two, 4/3 or
// 0.8, so every scaled sample is known in advance.
// Any change in how the converter measures the peak, scales, rounds or
// clips shows up as a differing sample.

constexpr float kHalfScale = -6.0206f;  // 0.5 in single precision

class NormalisedSamplesTest : public ConverterFixture, public ::testing::WithParamInterface<NormalisedCase> {};

TEST_P(NormalisedSamplesTest, EachOutputIsItsChannelTimesItsOwnGain) {
    const auto& [name, format, right, target, expected] = GetParam();
    const int bits = isFloat(format.encoding) ? 32 : bitsOf(format.encoding);
    const fs::path source = dir / "Song.wav";
    writePcm(source, format, {dc(right.size(), -0.75, format.encoding), right});
    converter.convertToMono(source, dir / "Song_mono.wav", ChannelSelection::right, target);
    converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav", target);

    const auto stored = readStoredInts(dir / "Song_mono.wav");
    std::vector<std::int64_t> written;
    for (std::int32_t v : stored.at(0)) written.push_back(v >> (32 - bits));
    EXPECT_EQ(written, expected);
    EXPECT_EQ(readStoredInts(dir / "R.wav"), stored);
}

// Rounding meets clipping where a gain takes the peak to full scale; a float
// source beyond full scale comes down to it, and a NaN comes out as 0.
constexpr double k16 = 0x1p-15, k32 = 0x1p-32;  // one step of 16-bit PCM; 2^-32
constexpr std::int64_t kMax = 2147483647, kHalf = 1073741824;
const NormalisedCase kCases[] = {
    {"wav8", {wav, int8}, {0.25, -0.25, 1.0 / 128, -0.125}, kHalfScale, {64, -64, 2, -32}},
    {"wav16", {wav, int16}, {0.25, -0.125, 3 * k16, -0.25}, kHalfScale, {16384, -8192, 6, -16384}},
    {"wav16FullScale", {wav, int16}, {0.25, -0.25, k16, -3 * k16}, 0.0f, {32767, -32768, 4, -12}},
    {"aiff24FullScale", {aiff, int24}, {0.25, -0.25, 0x1p-23 * 5}, 0.0f, {8388607, -8388608, 20}},
    {"wav32FullScale", {wav, int32}, {0.5, -0.5, 0x1p-31 * 7, -0.25}, 0.0f, {kMax, -kMax - 1, 14, -kHalf}},
    // A gain of 4/3 leaves fractions to round; products of 2^-32 steps are ties, to even.
    {"wav16Thirds", {wav, int16}, {0.75, -0.75, k16, 2 * k16, 3 * k16, -2 * k16}, 0.0f, {32767, -32768, 1, 3, 4, -3}},
    {"float32Ties", {wav, float32}, {1.0, k32, 3 * k32, 5 * k32, -3 * k32, 1.5 * k32}, 0.0f, {kMax, 0, 2, 2, -2, 1}},
    {"float32Beyond", {wav, float32}, {1.25, -0.625, NAN, 0.5, 0.375}, 0.0f, {kMax, -kHalf, 0, 858993472, 644245120}},
};
INSTANTIATE_TEST_SUITE_P(Sources, NormalisedSamplesTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::get<0>(info.param); });

// Past two chunks, with the peaks far apart: the peak pass reads the file in
// two halves at once, and every chunk is scaled alike.
TEST_F(ConverterFixture, NormalisationSpansEveryChunk) {
    const std::size_t frames = 2 * AudioConverterService::chunkSize + 5;
    Signal right = noise(frames, int24, 5, 0.1);
    right[AudioConverterService::chunkSize / 2] = -0.25;
    right[frames - 1] = 0.25;
    writePcm(dir / "Long.wav", {wav, int24}, {noise(frames, int24, 6, 0.9), right});
    converter.convertToMono(dir / "Long.wav", dir / "Long_mono.wav", ChannelSelection::right, kHalfScale);
    std::vector<std::int32_t> doubled;
    for (std::int32_t v : storedInts(right, int24)) doubled.push_back(v * 2);
    expectSameSamples(readStoredInts(dir / "Long_mono.wav")[0], doubled);
}

// The gains themselves are pinned by the normalised samples above.
TEST(NormalizationGainTest, NoneForAPeakAtOrBelowTheFloor) {
    EXPECT_TRUE(!normalizationGain(-1.0f, 0.001f) && !normalizationGain(-1.0f, 0.0f) &&
                normalizationGain(-1.0f, 0.0011f));
}

// Below the floor a channel is copied unscaled rather than amplifying noise.
TEST_F(ConverterFixture, QuietChannelIsCopiedUnscaled) {
    Signal quiet = noise(5000, int24, 3, 0.0008);
    quiet[2500] = quantize(0.0009, int24);
    writePcm(dir / "Quiet.wav", {wav, int24}, {quiet, noise(5000, int24, 4)});
    converter.convertToMono(dir / "Quiet.wav", dir / "Quiet_mono.wav", ChannelSelection::left, -1.0f);
    EXPECT_EQ(readStoredInts(dir / "Quiet_mono.wav")[0], storedInts(quiet, int24));
}

// ---- faults -------------------------------------------------------------------

using FaultTest = ConverterFixture;

TEST_F(FaultTest, OutputFolderThatCannotExistOrMissingSource) {
    // Running as root, permissions do not stop a write; a parent that is a
    // regular file does, and so does a name longer than the file system takes.
    const fs::path source = stereoSource("Song.wav", 100);
    std::ofstream(dir / "blocker") << "a file, not a folder";
    const std::string longName = std::string(300, 'K') + "_mono.wav";
    const std::pair<fs::path, std::string> rows[] = {
        {dir / "blocker" / "out.wav", "Cannot create output file out.wav: Not a directory"},
        {dir / longName, "Cannot create output file " + longName + ": File name too long"},
    };
    for (const auto& [output, message] : rows) {
        const auto toMono = [&] { converter.convertToMono(source, output, ChannelSelection::left); };
        EXPECT_EQ(thrownMessage<ConversionError>(toMono), message);
        EXPECT_EQ(failureOf([&] { converter.removeRedundantChannels(source, output, {1}); }), Case::cannotCreateOutput);
    }
    EXPECT_THROW(converter.convertToMono(dir / "gone.wav", dir / "out.wav", ChannelSelection::left), AudioIOError);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"Song.wav", "blocker"}));
}

// A write that fails part way leaves nothing: no file under the output's
// name (whose header would look complete) and no temporary.
TEST_F(FaultTest, AFailedWriteLeavesNoFileBehind) {
    const fs::path source = stereoSource("Long.wav", 1'500'000);  // 6 MB in, 3 MB out
    // A split pair's side is copied as bytes, outside the audio writer.
    const ScanResultFields pair{.fileInfo = {.path = source, .filename = "Take.wav"},
                                .pairedFilePath = stereoSource("Take.R.wav", 1'500'000)};
    writePcm(dir / "Wide.wav", {}, Channels(64, dc(1000, 0.25, PcmEncoding::int16)));
    const std::vector<std::string> sources{"Long.wav", "Take.R.wav", "Wide.wav"};

    // What runs out, the limit, the operation and how it ends.
    const std::vector<std::tuple<const char*, int, rlim_t, std::function<void()>, Outcome>> rows{
        {"full disk, mono", RLIMIT_FSIZE, 1 << 20,
         [&] { converter.convertToMono(source, dir / "out.wav", ChannelSelection::left); }, systemsError},
        {"full disk, two files", RLIMIT_FSIZE, 1 << 20,
         [&] { converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav"); }, systemsError},
        {"full disk, pair copy", RLIMIT_FSIZE, 1 << 20,
         [&] { converter.convertSplitPairToMono(ScanResult(pair), {}, AppSettings{}); }, fileTooLarge},
        {"descriptors run out, channel split", RLIMIT_NOFILE, 32,
         [&] { converter.splitAllChannels(dir / "Wide.wav", std::nullopt, AppSettings{}); }, systemsError},
    };
    for (const auto& [name, resource, limit, operation, expected] : rows) {
        EXPECT_EQ(outcomeUnder(resource, limit, operation), expected) << name;
        EXPECT_EQ(folderListing(dir.path()), sources) << name;
    }
}

// A name taken while the output was being written is never replaced, and
// the operation's other outputs go too: they appear together or not at all.
TEST_F(FaultTest, ANameTakenDuringTheWriteIsKeptAndNothingElseStays) {
    const fs::path source = stereoSource("Song.wav", 2'500'000);
    const std::vector<std::pair<const char*, std::function<void(const ProgressHandler&)>>> rows{
        {"out.wav", [&](auto& p) { converter.convertToMono(source, dir / "out.wav", ChannelSelection::left, {}, p); }},
        {"R.wav", [&](auto& p) { converter.splitToTwoMono(source, dir / "L.wav", dir / "R.wav", {}, p); }},
        {"Song_mono_ch2_R.wav", [&](auto& p) { converter.splitAllChannels(source, std::nullopt, AppSettings{}, p); }},
    };
    for (const auto& [taken, operation] : rows) {
        auto intruder = [&, first = true](double) mutable {
            if (std::exchange(first, false)) std::ofstream(dir / taken) << "someone else's";
        };
        EXPECT_EQ(failureOf([&] { operation(intruder); }), Case::fileExists) << taken;
        std::vector<std::string> expected{"Song.wav", taken};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(std::pair(folderListing(dir.path()), fileText(dir / taken)),
                  std::pair(expected, std::string("someone else's")))
            << taken;
        fs::remove(dir / taken);
    }
}

// ---- the shared chunk loop with stand-in files: what real files cannot show
// cheaply (lengths past 2^32 frames, wide files, readers that stop early)

// Counts what it is given.
class CountingWriter : public AudioFileWriter {
public:
    void write(const PCMBuffer& buffer) override { add(buffer.frameLength()); }
    void writeDouble(const PlanarBuffer<double>& buffer) override { add(buffer.frameLength()); }
    void writeInt(const IntPCMBuffer& buffer) override { add(buffer.frameLength()); }
    void close() override {}
    std::int64_t framesWritten() const override { return frames_; }
    void add(std::uint32_t frames) { frames_ += frames, largestChunk = std::max(largestChunk, frames); }

    std::int64_t frames_ = 0;
    std::uint32_t largestChunk = 0;
};

// The cancel check runs before every chunk and once more after the last, to
// catch a cancel made while it was being written.
TEST(ChannelStreamerTest, LengthsPastTheThirtyTwoBitRangeAreStreamedWhole) {
    const std::int64_t length = (std::int64_t(1) << 32) + 5;
    MemoryReader reader(1, length, length);
    CountingWriter writer;
    std::int64_t checks = 0;
    StreamHooks hooks{.blockFrames = 1'000'000, .checkCancelled = [&] { ++checks; }};
    streamChannels(reader, {{&writer, {0}, std::nullopt}}, hooks);
    EXPECT_EQ(std::tuple(writer.framesWritten(), reader.position(), checks),
              std::tuple(length, length, (length + 999'999) / 1'000'000 + 1));
}

TEST(ChannelStreamerTest, WideFilesUseShorterChunksToStayWithinTheMemoryBudget) {
    MemoryReader reader(64, 3'000'000, 3'000'000);
    CountingWriter writer;
    std::vector<int> all(64);
    std::iota(all.begin(), all.end(), 0);
    streamChannels(reader, {{&writer, all, std::nullopt}}, StreamHooks{});
    EXPECT_EQ(writer.framesWritten(), 3'000'000);
    EXPECT_LE(std::size_t(writer.largestChunk) * (64 + 64) * 4, std::size_t(48) << 20);
}

// Chunks of 1000 frames, so that short files are read in two halves.
StreamHooks smallChunks(std::function<void()> checkCancelled = {}) {
    return StreamHooks{.blockFrames = 1000, .checkCancelled = std::move(checkCancelled)};
}

// An output that is silently short would pass for complete.
TEST(ChannelStreamerTest, AReaderThatStopsEarlyIsAReadError) {
    MemoryReader reader(2, 3'000'000, 1'500'000);
    CountingWriter writer;
    EXPECT_EQ(failureOf([&] {
                  streamChannels(reader, {{&writer, {1}, std::nullopt}}, StreamHooks{});
              }),
              Case::readError);
    MemoryReader firstHalf(2, 10'000, 10'000);
    auto shortSecondHalf = [] { return std::make_unique<MemoryReader>(2, 10'000, 7'000); };
    EXPECT_EQ(failureOf([&] { measurePeaks(firstHalf, {0}, smallChunks(), shortSecondHalf); }), Case::readError);
}

// ---- the peak pass in two halves ----------------------------------------------

TEST(PeakPassTest, HalvesFindEachChannelsPeakWhereverItLies) {
    const std::size_t frames = 10'001;
    // Peaks on either side of the split and in the very last frame.
    MemoryReader::Samples channels(3, std::vector<float>(frames, 0x1p-23f));
    channels[0][frames / 2 - 1] = -0.25f;
    channels[1][frames / 2] = 0.75f;
    channels[2][frames - 1] = -0.5f;
    int opened = 0;
    MemoryReader reader(channels);
    const auto peaks = measurePeaks(reader, {2, 0, 1}, smallChunks(), [&] {
        ++opened;
        return std::make_unique<MemoryReader>(channels);
    });
    EXPECT_EQ(std::pair(opened, peaks), std::pair(1, std::vector<float>{0.5f, 0.25f, 0.75f}));
}

}  // namespace
}  // namespace twinfold::test
