// Whole files and split pairs through the service: every kind of stereo
// content in every PCM container, cut into one chunk or many, the boundary
// cases, multichannel files, and compressed files decoded through FFmpeg.
#include "analysis/AnalyzerFixture.h"
#include "support/CompressedFixtures.h"

namespace twinfold::test {
namespace {

using KindCase = std::pair<StereoKind, const char*>;  // the content and its verdict
constexpr KindCase kinds[] = {
    {StereoKind::dualMono, "Dual Mono"},
    {StereoKind::panned, "Mono Panned 50% L"},
    {StereoKind::phaseInverted, "Phase Inverted"},
    {StereoKind::leftSilent, "Silent Left Channel"},
    {StereoKind::rightSilent, "Silent Right Channel"},
    {StereoKind::bothSilent, "No Audio Content"},
    {StereoKind::trueStereo, "True Stereo"},
};
const PcmFormat formats[] = {
    {PcmContainer::wav, PcmEncoding::int16, 44100},   {PcmContainer::wav, PcmEncoding::int24, 48000},
    {PcmContainer::wav, PcmEncoding::float32, 48000}, {PcmContainer::aiff, PcmEncoding::int24, 96000},
    {PcmContainer::aifc, PcmEncoding::int16, 48000},  {PcmContainer::rf64, PcmEncoding::int32, 48000},
};

const char* extensionOf(PcmContainer c) { return c == PcmContainer::aiff || c == PcmContainer::aifc ? ".aif" : ".wav"; }

class StereoKindTest : public testing::TestWithParam<std::tuple<KindCase, PcmFormat>> {};

// The verdict must not depend on how the file is cut into chunks, and a split
// pair must read exactly like the stereo file with the same two channels.
TEST_P(StereoKindTest, ClassifiesFileAndSplitPairAlikeForAnyChunkSize) {
    const auto [kindCase, format] = GetParam();
    const auto [kind, status] = kindCase;
    TempDir dir;
    const Channels channels = stereo(kind, 5000, format.encoding);
    const auto file = dir / (std::string("take") + extensionOf(format.container));
    writePcm(file, format, channels);
    const SplitPair pair =
        writeSplitPair(dir.path(), "Take", extensionOf(format.container), format, channels[0], channels[1]);
    for (std::uint32_t chunkSize : {AudioAnalyzerService::defaultChunkSize, 1024u, 999u}) {
        AudioAnalyzerService analyzer(minus96dBFS, chunkSize);
        const ScanResult single = analyzer.analyzeFile(file), split = analyzer.analyzeSplitPair(pair.left, pair.right);
        EXPECT_EQ(single.statusText() + " | " + split.statusText(), std::string(status) + " | " + status) << chunkSize;
        EXPECT_TRUE(!single.pairedFilePath && split.pairedFilePath == pair.right);
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, StereoKindTest,
                         testing::Combine(testing::ValuesIn(kinds), testing::ValuesIn(formats)));

TEST(StereoBoundaryTest, VerdictsAtTheEdges) {
    constexpr auto f32 = PcmEncoding::float32, i16 = PcmEncoding::int16, i24 = PcmEncoding::int24;
    Signal atThreshold = silence(3000);
    atThreshold[10] = minus96dBFS, atThreshold[2999] = -minus96dBFS;
    Signal justAbove = atThreshold;
    justAbove[2999] = -std::nextafter(minus96dBFS, 1.0f);
    Channels lastBit = stereo(StereoKind::dualMono, 4500, i16);
    lastBit[1][4499] += 1.0 / 32768;
    const Signal right = noise(3000, f32, 3), loud = noise(1000, i16, 5);
    const std::tuple<const char*, Channels, PcmEncoding, const char*> rows[] = {
        {"a sample exactly at the threshold is silence", {atThreshold, right}, f32, "Silent Left Channel"},
        {"one just above it is not", {justAbove, right}, f32, "True Stereo"},
        // Either side: one sample decides.
        {"one bit different in the last chunk", lastBit, i16, "Mono Panned 1% "},
        {"a pan too short to judge", stereo(StereoKind::panned, 999, i16), i16, "True Stereo"},
        {"a pan just long enough", stereo(StereoKind::panned, 1000, i16), i16, "Mono Panned 50% L"},
        {"louder on the right", {scaled(loud, 0.5, i16), loud}, i16, "Mono Panned 50% R"},
        // DC channels do not count, whatever their levels.
        {"DC", {dc(48000, 0.1, i24), dc(48000, 0.2, i24)}, i24, "True Stereo"},
        {"DC of opposite signs", {dc(48000, 0.3, i24), dc(48000, -0.6, i24)}, i24, "True Stereo"},
        {"empty", Channels(2), i16, "No Audio Content"},
        {"mono", {noise(2000, i16, 2)}, i16, "Already Mono"},
    };
    for (const auto& [name, channels, encoding, status] : rows) {
        TempDir dir;
        writePcm(dir / "case.wav", {PcmContainer::wav, encoding}, channels);
        const ScanResult r = AudioAnalyzerService(minus96dBFS, 1000).analyzeFile(dir / "case.wav");
        EXPECT_TRUE(r.statusText().starts_with(status)) << name << ": " << r.statusText();
        EXPECT_EQ(r.potentialSavings > 0, r.isConvertible()) << name;  // no stray flag on a mono or empty file
    }
}

// The pan residual as a file and as a split pair. Expected figures by hand:
// the best gain for the mix is 0.35 / 0.5 = 0.7, which leaves exactly the
// 1500 Hz sine: 0.045 / √(0.35² + 0.045²) of the right side's level, −17.89 dB,
// with a peak of 0.045 (1500 Hz hits its crest at 48 kHz). A re-quantised
// copy leaves only rounding, far below −40 dB, so its peak is never read.
TEST(PanResidualTest, MixDiffersFromAPanAndARequantisedCopyDoesNot) {
    for (const auto& [encoding, mix] : {std::pair{PcmEncoding::int24, true},
                                        {PcmEncoding::int16, true},
                                        {PcmEncoding::int24, false},
                                        {PcmEncoding::int16, false}}) {
        SCOPED_TRACE(std::to_string(bitsOf(encoding)) + (mix ? "-bit mix" : "-bit pan"));
        TempDir dir;
        const PcmFormat format{PcmContainer::wav, encoding, 48000};
        const Channels channels = panOf440(encoding, mix);
        writePcm(dir / "Mix.wav", format, channels);
        const SplitPair pair = writeSplitPair(dir.path(), "Mix", ".wav", format, channels[0], channels[1]);
        for (std::uint32_t chunkSize : {AudioAnalyzerService::defaultChunkSize, 4096u}) {
            AudioAnalyzerService analyzer(minus96dBFS, chunkSize);
            for (const ScanResult& r :
                 {analyzer.analyzeFile(dir / "Mix.wav"), analyzer.analyzeSplitPair(pair.left, pair.right)}) {
                EXPECT_EQ(r.statusText() + "|" + r.differenceText(),
                          mix ? "Mono Panned 29% L|differs by -18 dB" : "Mono Panned 30% L|");
                ASSERT_TRUE(r.panResidual && r.panResidual->peakMeasured == mix);
                EXPECT_NEAR(*r.evidence.pair->panGaindB, 20 * std::log10(0.7), 0.01);
                const float relativedB = r.panResidual->relativedB, peak = r.panResidual->peak;
                EXPECT_TRUE(mix ? std::fabs(relativedB + 17.888f) < 0.01f && std::fabs(peak - 0.045f) < 1e-4f
                                : relativedB < -55.0f)
                    << relativedB << " dB, peak " << peak;
            }
        }
    }
}

// 16-bit files are analysed from their stored integers, other files from
// floats. The same samples written at 24 bits take the float path, which
// must reach the same verdict and the same evidence: the extremes, firsts
// and pictures exactly, the levels and correlation (float sums against exact
// ones) to rounding.
constexpr std::size_t pathFrames = 6007;  // not a whole number of vector steps
constexpr double lsb16 = 1.0 / 32768;

Channels kindOf(StereoKind kind) { return stereo(kind, pathFrames, PcmEncoding::int16); }

// R = L / 2 plus its own noise at `noiseLevel` of L's: a correlation of
// 0.5 / √(0.25 + noiseLevel²), 0.99 at a noise level of about 0.0713.
Channels pannedWithNoise(double noiseLevel) {
    const Signal l = noise(pathFrames, PcmEncoding::int16, 11), n = noise(pathFrames, PcmEncoding::int16, 12);
    Signal r(pathFrames);
    for (std::size_t i = 0; i < pathFrames; ++i) r[i] = quantize(0.5 * l[i] + noiseLevel * n[i], PcmEncoding::int16);
    return {l, r};
}

// `to` takes `from`'s figure where the two are equal or within `tolerance`
// (levels of silence are both −∞), so that only a larger gap shows.
template <typename T>
void within(T& to, T from, double tolerance) {
    if (to == from || std::fabs(double(to) - double(from)) <= tolerance) to = from;
}

TEST(SampleFormatPathTest, IntegerAndFloatReadingsAgree) {
    Channels invertedButOneStep = kindOf(StereoKind::phaseInverted), oneStep = kindOf(StereoKind::leftSilent),
             fullScale = kindOf(StereoKind::trueStereo);
    invertedButOneStep[1][4000] += invertedButOneStep[1][4000] > 0 ? -lsb16 : lsb16;
    oneStep[0][17] = lsb16, oneStep[0][pathFrames - 1] = -lsb16;
    for (std::size_t i = 100; i < 164; ++i) fullScale[0][i] = fullScale[1][i] = -1.0;
    // The content, its verdict, the silence threshold and the container.
    const float t = minus96dBFS;
    const PcmContainer wav = PcmContainer::wav;
    const std::tuple<const char*, Channels, const char*, float, PcmContainer> rows[] = {
        {"dual mono", kindOf(StereoKind::dualMono), "Dual Mono", t, wav},
        {"phase inverted", kindOf(StereoKind::phaseInverted), "Phase Inverted", t, wav},
        {"panned", kindOf(StereoKind::panned), "Mono Panned 50% L", t, wav},
        {"left silent", kindOf(StereoKind::leftSilent), "Silent Left Channel", t, wav},
        {"true stereo", kindOf(StereoKind::trueStereo), "True Stereo", t, wav},
        {"big-endian AIFF", kindOf(StereoKind::panned), "Mono Panned 50% L", t, PcmContainer::aiff},
        {"correlation just above 0.99", pannedWithNoise(0.069), "Mono Panned 49% L", t, wav},
        {"correlation just below 0.99", pannedWithNoise(0.074), "True Stereo", t, wav},
        {"inverted but for one step", invertedButOneStep, "True Stereo", t, wav},
        {"one step at a threshold of one step", oneStep, "Silent Left Channel", float(lsb16), wav},
        {"both sides at negative full scale for a while", fullScale, "True Stereo", t, wav},
    };
    for (const auto& [name, channels, status, threshold, container] : rows) {
        SCOPED_TRACE(name);
        TempDir dir;
        const auto int16File = dir / (std::string("int16") + extensionOf(container));
        const auto int24File = dir / (std::string("int24") + extensionOf(container));
        writePcm(int16File, {container, PcmEncoding::int16}, channels);
        writePcm(int24File, {container, PcmEncoding::int24}, channels);
        AudioAnalyzerService analyzer(threshold, 1000);
        EvidencePictures intPictures, floatPictures;
        const ScanResult i = analyzer.analyzeFile(int16File, nullptr, &intPictures);
        ScanResult f = analyzer.analyzeFile(int24File, nullptr, &floatPictures);
        EXPECT_EQ(i.statusText() + " | " + f.statusText(), std::string(status) + " | " + status);
        // The float sums leave a residual of rounding; the exact ones find
        // what the re-quantised pan left. Either is far below a difference.
        EXPECT_EQ(i.differenceText(), f.differenceText());
        EXPECT_EQ(intPictures, floatPictures);
        ASSERT_EQ(f.evidence.channels.size(), 2u);
        for (std::size_t c = 0; c < 2; ++c) {
            within(f.evidence.channels[c].rmsdBFS, i.evidence.channels[c].rmsdBFS, 1e-3);
            within(f.evidence.channels[c].dcOffset, i.evidence.channels[c].dcOffset, 1e-7);
        }
        PairEvidence& pair = f.evidence.pair.value();
        within(pair.correlation, i.evidence.pair->correlation, 1e-5);
        if (pair.panGaindB && i.evidence.pair->panGaindB) within(*pair.panGaindB, *i.evidence.pair->panGaindB, 1e-3);
        EXPECT_EQ(f.evidence, i.evidence);
    }
}

MultichannelAnalysis channelsOf(const Channels& channels, PcmEncoding encoding, std::uint32_t chunkSize = 1000) {
    TempDir dir;
    writePcm(dir / "multi.wav", {PcmContainer::wav, encoding}, channels);
    const ScanResult r = AudioAnalyzerService(minus96dBFS, chunkSize).analyzeFile(dir / "multi.wav");
    EXPECT_FALSE(r.isDualMono || r.isPannedMono || r.isPhaseInverted || r.silentChannel != SilentChannelStatus::none);
    return r.multichannelAnalysis.value();
}

std::vector<std::vector<int>> identityLists(const MultichannelAnalysis& a) {
    std::vector<std::vector<int>> lists;
    for (const ChannelAnalysis& c : a.channels) lists.push_back(c.identicalToChannels);
    return lists;
}

TEST(MultichannelAnalysisTest, SilentDuplicateQuietAndAlmostIdenticalChannels) {
    const Channels six = multichannel({6, {{0, 1}}, {4, 5}}, 3500, PcmEncoding::int24);
    for (std::uint32_t chunkSize : {1000u, AudioAnalyzerService::defaultChunkSize}) {
        const MultichannelAnalysis a = channelsOf(six, PcmEncoding::int24, chunkSize);
        EXPECT_EQ(identityLists(a), (std::vector<std::vector<int>>{{1}, {0}, {}, {}, {5}, {4}}));
        for (const ChannelAnalysis& ch : a.channels) {
            EXPECT_EQ(ch.isSilent, ch.channelIndex >= 4);
            // Noise of amplitude 0.5 peaks just under −6 dBFS.
            EXPECT_TRUE(ch.isSilent ? ch.peakdBFS == -INFINITY : std::fabs(ch.peakdBFS + 6.02f) < 0.1f) << ch.peakdBFS;
        }
    }
    Channels almost = multichannel({3, {{0, 2}}, {}}, 2500, PcmEncoding::int16);
    almost[2][2400] += 1.0 / 32768;  // in the last chunk
    EXPECT_EQ(identityLists(channelsOf(almost, PcmEncoding::int16)), (std::vector<std::vector<int>>(3)));
    Channels channels = multichannel({3, {}, {}}, 2000, PcmEncoding::float32);
    channels[1] = silence(2000);
    channels[1][700] = std::pow(10.0f, -100.0f / 20.0f);
    const ChannelAnalysis quiet = channelsOf(channels, PcmEncoding::float32).channels[1];
    EXPECT_TRUE(quiet.isSilent && std::fabs(quiet.peakdBFS + 100.0f) < 1e-4f) << quiet.peakdBFS;
    // An empty file: every channel silent, and identical to every other.
    const MultichannelAnalysis empty = channelsOf(Channels(4), PcmEncoding::int16);
    EXPECT_EQ(identityLists(empty), (std::vector<std::vector<int>>{{1, 2, 3}, {0, 2, 3}, {0, 1, 3}, {0, 1, 2}}));
    for (const ChannelAnalysis& c : empty.channels) EXPECT_TRUE(c.isSilent && c.peakdBFS == -INFINITY);
}

// Only what survives lossy coding is expected of compressed files: a noise
// copy at half level does not stay correlated at 0.99 through AAC, and raw
// ADTS does not keep dual mono bit-identical.
enum class Content { dual, leftSilent, rightSilent, independent, inverted, panned, sixChannels };

FloatChannels channelsFor(Content content) {
    constexpr std::size_t frames = 44100;
    if (content == Content::leftSilent || content == Content::rightSilent)
        return oneSideSilent(frames, content == Content::leftSilent ? 0 : 1);
    if (content == Content::independent || content == Content::sixChannels)
        return independentNoise(frames, content == Content::independent ? 2 : 6);
    FloatChannels c = dualMono(frames);
    for (float& x : c[1]) x *= content == Content::inverted ? -1.0f : content == Content::panned ? 0.5f : 1.0f;
    return c;
}

TEST(CompressedAnalysisTest, ClassifiesWhatSurvivesTheCodec) {
    using F = EncodedFormat;
    using C = Content;
    const std::tuple<EncodedFormat, Content, const char*> rows[] = {
        {F::mp3, C::dual, "Dual Mono"},
        {F::mp3, C::leftSilent, "Silent Left Channel"},
        {F::mp3, C::independent, "True Stereo"},
        {F::mp3, C::inverted, "Phase Inverted"},
        {F::mp3, C::panned, "Mono Panned 50% L"},
        {F::m4aAac, C::rightSilent, "Silent Right Channel"},
        {F::m4aAac, C::inverted, "Phase Inverted"},
        {F::m4aAac, C::sixChannels, "Multichannel (6ch) - Unique"},
        {F::adtsAac, C::leftSilent, "Silent Left Channel"},
        {F::adtsAac, C::inverted, "Phase Inverted"},
    };
    for (const auto& [format, content, status] : rows) {
        SCOPED_TRACE(status);
        TempDir dir;
        const auto path = writeCompressed(dir.path(), "take" + extensionFor(format), channelsFor(content), format);
        const ScanResult r = AudioAnalyzerService(minus96dBFS, 4096).analyzeFile(path);
        // A lossy source only grows as PCM: no savings.
        EXPECT_EQ(std::pair(r.statusText(), r.potentialSavings), std::pair(std::string(status), std::int64_t(0)));
        // Codec noise is independent per channel: the residual is recorded, its peak never read.
        EXPECT_TRUE(r.panResidual.has_value() == r.isPannedMono &&
                    !(r.panResidual && (r.panResidual->peakMeasured || r.differsFromAPan())));
    }
}

}  // namespace
}  // namespace twinfold::test
