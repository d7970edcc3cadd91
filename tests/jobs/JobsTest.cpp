// The jobs layer's guards of the originals: the proof that outputs hold what was
// promised before an original goes, and the manifest that records what a
// backup folder holds.
#include "jobs/BackupManifest.h"
#include "jobs/OutputVerifier.h"
#include "audio_io/FileIdentityOf.h"

#include "conversion/AudioConverterService.h"
#include "conversion/OutputFormat.h"
#include "support/ChunkFixtures.h"
#include "support/PcmRewrite.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace twinfold::test {
namespace {

using Case = VerificationError::Case;

using E = PcmEncoding;
using VerifierCase = std::pair<PcmEncoding, std::optional<float>>;  // the source's encoding, the target level

class OutputVerifierTest : public ::testing::Test {
protected:
    // A stereo source with independent channels (so a wrong channel shows).
    fs::path source(PcmEncoding encoding) {
        writePcm(dir / "src.wav", {PcmContainer::wav, encoding, 48000},
                 {noise(70000, encoding, 1, 0.4), noise(70000, encoding, 2, 0.3)});
        return dir / "src.wav";
    }

    // Expects verify() or prove() to fail with `expected`, naming `part`.
    void expectFault(const std::vector<OutputProvenance>& outputs, Case expected, const std::string& part = "") {
        expectFault([&] { OutputVerifier::verify(outputs, notCancelled); }, expected, part);
    }
    void expectFault(const SourceProof& proof, Case expected, const std::string& part = "") {
        expectFault([&] { OutputVerifier::prove({proof}, notCancelled); }, expected, part);
    }
    void expectFault(const std::function<void()>& check, Case expected, const std::string& part) {
        const auto error = thrown<VerificationError>(check);
        EXPECT_TRUE(error && error->errorCase() == expected && contains(error->what(), part))
            << (error ? error->what() : "no fault found");
    }

    TempDir dir;
    AudioConverterService converter;
    std::atomic<bool> notCancelled{false};
};

TEST_F(OutputVerifierTest, TheConvertersOutputPassesAndAFlippedSampleDoesNot) {
    const VerifierCase cases[] = {{E::int8, {}},      {E::int16, {}},    {E::int24, {}},
                                  {E::int32, {}},     {E::float32, {}},  {E::int16, -1.0f},
                                  {E::int24, -20.0f}, {E::int32, -6.0f}, {E::float32, -3.0f}};
    for (const auto& [encoding, target] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::pair(encoding, target)));
        const fs::path src = source(encoding), out = dir / "out.wav";
        fs::remove(out);
        converter.convertToMono(src, out, ChannelSelection::right, target);
        const std::vector<OutputProvenance> outputs{{out, src, {1}, target}};
        EXPECT_TRUE(OutputVerifier::verify(outputs, notCancelled));
        rewriteInts(out, isFloat(encoding) ? PcmEncoding::int32 : encoding, [](std::vector<std::int32_t>& s) {
            const auto loudest = std::max_element(s.begin(), s.end(), [](std::int32_t a, std::int32_t b) {
                return std::abs(std::int64_t(a)) < std::abs(std::int64_t(b));
            });
            *loudest = -*loudest;
        });
        expectFault(outputs, Case::sampleMismatch, "out.wav");
    }
}

TEST_F(OutputVerifierTest, ACopyMustMatchToTheLastBit) {
    const fs::path src = source(PcmEncoding::int24), out = dir / "out.wav";
    converter.convertToMono(src, out, ChannelSelection::left);
    rewriteInts(out, PcmEncoding::int24, [](std::vector<std::int32_t>& s) { s[65600] += 1 << 8; });
    expectFault({{out, src, {0}, {}}}, Case::sampleMismatch, "out.wav does not match its source at frame 65600");
}

TEST_F(OutputVerifierTest, TheRecordedChannelAndGainMustBeTheOnesWritten) {
    const fs::path src = source(PcmEncoding::int16), out = dir / "out.wav";
    converter.convertToMono(src, out, ChannelSelection::left, -6.0f);
    EXPECT_TRUE(OutputVerifier::verify({{out, src, {0}, -6.0f}}, notCancelled));
    for (const OutputProvenance& wrong : {OutputProvenance{out, src, {1}, -6.0f},
                                          OutputProvenance{out, src, {0}, -5.0f}, OutputProvenance{out, src, {0}, {}}})
        expectFault({wrong}, Case::sampleMismatch);
    EXPECT_FALSE(OutputVerifier::verify({{out, src, {0}, -6.0f}}, std::atomic<bool>{true}));  // cancelled
    // Rounding may leave a normalised sample one step off, never two.
    rewriteInts(out, PcmEncoding::int16, [](std::vector<std::int32_t>& s) { s[500] += 2 << 16; });
    expectFault({{out, src, {0}, -6.0f}}, Case::sampleMismatch);
}

// An output that holds gain × source only to its own, too coarse, step:
// every sample is within one step, yet resolution the source had is gone.
TEST_F(OutputVerifierTest, AnOutputNarrowerThanItsSourceFails) {
    const auto narrowCopy = [&](const fs::path& src, std::optional<float> target, PcmEncoding narrow) {
        const std::vector<float> samples = readFloats(src)[0];
        const float peak = std::fabs(std::ranges::max(samples, {}, [](float x) { return std::fabs(x); }));
        const double gain = target ? double(normalizationGain(*target, peak).value_or(1.0f)) : 1.0;
        Signal out;
        for (float x : samples) out.push_back(quantize(std::clamp(gain * x, -1.0, 1.0), narrow));
        const fs::path path = dir / "narrow.wav";
        fs::remove(path);
        writePcm(path, {PcmContainer::wav, narrow, 48000}, {out});
        return path;
    };
    const fs::path int24 = source(PcmEncoding::int24);
    expectFault({{narrowCopy(int24, -6.0f, PcmEncoding::int16), int24, {0}, -6.0f}}, Case::depthMismatch,
                "narrow.wav has fewer bits per sample than its source (16 instead of 24)");
    const fs::path float32 = source(PcmEncoding::float32);
    expectFault({{narrowCopy(float32, {}, PcmEncoding::int16), float32, {0}, {}}}, Case::depthMismatch);

    // µ-law stores 8 bits a sample but decodes to 14: an 8-bit output is not a copy.
    const fs::path ulaw = dir / "ulaw.wav";
    writeCodedWav(ulaw, SF_FORMAT_ULAW);
    expectFault({{narrowCopy(ulaw, {}, PcmEncoding::int8), ulaw, {0}, {}}}, Case::depthMismatch);
    converter.convertToMono(ulaw, dir / "ulaw_mono.wav", ChannelSelection::left);
    EXPECT_TRUE(OutputVerifier::verify({{dir / "ulaw_mono.wav", ulaw, {0}, {}}}, notCancelled));
}

TEST_F(OutputVerifierTest, ShortOrMissingOutputsFail) {
    const fs::path src = source(PcmEncoding::int16), out = dir / "short.wav";
    writePcm(out, {PcmContainer::wav, PcmEncoding::int16, 48000}, {noise(69999, PcmEncoding::int16, 1, 0.4)});
    expectFault({{out, src, {0}, {}}}, Case::lengthMismatch);
    expectFault({{dir / "gone.wav", src, {0}, {}}}, Case::unreadable, "gone.wav");
    expectFault({{dir / "gone.wav", src, {0}, {}}}, Case::unreadable, "No original was moved or deleted.");
}

TEST_F(OutputVerifierTest, EveryChannelOfASplitOrReductionIsChecked) {
    const fs::path src = dir / "six.wav", reduced = dir / "six_mono.wav";
    writePcm(src, {PcmContainer::wav, PcmEncoding::int16, 48000},
             multichannel({6, {{1, 2}}, {5}}, 5000, PcmEncoding::int16));
    const auto written = converter.splitAllChannels(src, std::nullopt, AppSettings{});
    std::vector<OutputProvenance> outputs;
    for (int k = 0; k < 6; ++k) outputs.push_back({written[std::size_t(k)], src, {k}, {}});
    EXPECT_TRUE(OutputVerifier::verify(outputs, notCancelled));
    std::swap(outputs[3].output, outputs[4].output);
    expectFault(outputs, Case::sampleMismatch);

    converter.removeRedundantChannels(src, reduced, {0, 1, 3, 4});
    EXPECT_TRUE(OutputVerifier::verify({{reduced, src, {0, 1, 3, 4}, {}}}, notCancelled));
    expectFault({{reduced, src, {0, 1, 2, 4}, {}}}, Case::sampleMismatch);  // 2 is not 3
    expectFault({{reduced, src, {0, 1, 3}, {}}}, Case::formatMismatch);
}

// What a conversion drops must still be redundant when the originals go:
// each rule holds on the file as scanned, and fails once the dropped side
// carries something of its own (rewritten in place with its date kept, so
// only a read can tell).
TEST_F(OutputVerifierTest, ADroppedChannelIsProvenAgainOnTheFileAsItIsNow) {
    // Each kind of redundancy in a stereo file and in a split pair, and identity at 32 bits.
    std::vector<std::tuple<StereoKind, Redundancy, bool, PcmEncoding>> cases{
        {StereoKind::dualMono, Redundancy::identicalTo, false, E::int32}};
    for (const bool splitPair : {false, true})
        for (const auto& [kind, reason] : {std::pair{StereoKind::dualMono, Redundancy::identicalTo},
                                           {StereoKind::panned, Redundancy::scaledCopyOf},
                                           {StereoKind::phaseInverted, Redundancy::invertedCopyOf},
                                           {StereoKind::rightSilent, Redundancy::silent}})
            cases.emplace_back(kind, reason, splitPair, E::int16);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [kind, reason, splitPair, encoding] = cases[i];
        SCOPED_TRACE(testing::Message() << "kind " << int(kind) << (splitPair ? " as a pair, " : ", ")
                                        << bitsOf(encoding) << " bits");
        const fs::path d = dir / std::to_string(i);  // a folder of its own
        fs::create_directory(d);
        const PcmFormat format{PcmContainer::wav, encoding, 48000};
        const Channels channels = stereo(kind, 48000, encoding, 7);
        // One stereo file or a split pair; the proof keeps channel 0 and drops channel 1.
        std::vector<fs::path> files{d / "K.wav"};
        if (splitPair) {
            const SplitPair pair = writeSplitPair(d, "K", ".wav", format, channels[0], channels[1]);
            files = {pair.left, pair.right};
        } else {
            writePcm(d / "K.wav", format, channels);
        }
        writePcm(d / "K_mono.wav", format, {channels[0]});
        SourceProof proof{{}, {{d / "K_mono.wav", {0}, {}}}, {{1, reason, 0}}};
        for (const fs::path& f : files) proof.files.push_back({f, currentFileIdentity(f)});
        EXPECT_TRUE(OutputVerifier::prove({proof}, notCancelled));

        // The dropped side written anew, its size and dates kept.
        const fs::path& file = files.back();
        const auto date = fs::last_write_time(file);
        const Signal side = noise(48000, encoding, 99, 0.3);
        overwriteInPlace(file, format, splitPair ? Channels{side} : Channels{channels[0], side});
        fs::last_write_time(file, date);
        ASSERT_EQ(currentFileIdentity(file), proof.files.back().identity);
        expectFault(proof, Case::notRedundant, splitPair ? "channel 1 of K.R.wav" : "channel 2 of K.wav");
    }
}

// 32-bit integers that differ below the 24 bits a float holds look the same
// to the analysis; the proof compares the stored integers.
TEST_F(OutputVerifierTest, ThirtyTwoBitChannelsThatDifferInTheLowBitsAreNotIdentical) {
    writePcm(dir / "K.wav", {PcmContainer::wav, PcmEncoding::int32, 48000},
             stereo(StereoKind::dualMono, 4800, PcmEncoding::int32, 3));
    rewriteInts(dir / "K.wav", PcmEncoding::int32, [](std::vector<std::int32_t>& s) { s[10] ^= 1; });
    converter.convertToMono(dir / "K.wav", dir / "K_mono.wav", ChannelSelection::left);
    const SourceProof proof{{{dir / "K.wav", {}}}, {{dir / "K_mono.wav", {0}, {}}}, {{1, Redundancy::identicalTo, 0}}};
    expectFault(proof, Case::notRedundant);
}

// A chunk the output lost or changed after it was written is found before
// the original goes.
TEST_F(OutputVerifierTest, EveryChunkOfTheSourceMustBeInTheOutputByteForByte) {
    ChunkFixture fixture;
    for (std::int32_t v = 0; v < 2000; ++v) fixture.samples.insert(fixture.samples.end(), {v * 7, v * 7});
    fixture.before = {bextChunk("Scene 12 take 3"), ixmlChunk()};
    writeChunkFixture(dir / "take.wav", fixture);
    converter.convertToMono(dir / "take.wav", dir / "take_mono.wav", ChannelSelection::left);
    const SourceProof proof{{{dir / "take.wav", currentFileIdentity(dir / "take.wav")}},
                            {{dir / "take_mono.wav", {0}, {}}},
                            {{1, Redundancy::identicalTo, 0}}};
    EXPECT_TRUE(OutputVerifier::prove({proof}, notCancelled));
    std::vector<std::uint8_t> bytes = fileBytes(dir / "take_mono.wav");
    bytes[findId(bytes, "Scen")] = 's';  // in the description of 'bext'
    overwriteFileBytes(dir / "take_mono.wav", bytes);
    expectFault(proof, Case::chunkMissing, "chunk 'bext'");
}

TEST_F(OutputVerifierTest, AChangedOrUnaccountedSourceFailsBeforeAnythingIsRead) {
    const fs::path src = source(PcmEncoding::int16), out = dir / "out.wav";
    converter.convertToMono(src, out, ChannelSelection::left);
    SourceProof proof{{{src, currentFileIdentity(src)}}, {{out, {0}, {}}}, {}};
    expectFault(proof, Case::unaccounted, "channel 2 of src.wav is neither written");
    proof.files[0].identity.modifiedNanoseconds += 1;
    expectFault(proof, Case::sourceChanged, "src.wav has changed since it was scanned");
}

// ---- the backup manifest, read back before any original is restored ----------------

const std::string kDigest(64, 'a');

// Names a Linux file system allows: the exact bytes must come back.
TEST(ManifestLine, EveryPathComesBackByteForByte) {
    for (const std::string name : {"Drums/Kick In.wav", "Caf\xc3\xa9 \xf0\x9f\x8e\xb5.wav", "Caf\xe9.wav",
                                   "a\"b\\c\x01\n\x7f.wav", "\xed\xa0\x80\xc0\xaf.wav"}) {
        const ManifestEntry entry{{name, 12, kDigest}, {{"out/" + name, 7, kDigest}, {"b.wav", 0, kDigest}}};
        const std::string line = manifestLine(entry);
        EXPECT_TRUE(line.find('\n') == std::string::npos && parseManifestLine(line) == entry) << line;
    }
}

// Lines a reader must refuse rather than half-trust.
TEST(ManifestLine, AnythingButAWholeRecordIsRefused) {
    for (const std::string& line :
         {R"({"outputs":[],"path":"a.wav","sha256":")" + kDigest + R"(","size":1)",  // cut short
          R"({"outputs":[],"path":"a.wav","sha256":")" + kDigest + R"(","size":1.5})",
          R"({"outputs":[],"path":"a.wav","sha256":")" + kDigest + R"(","size":"1"})",
          R"({"outputs":{},"path":"a.wav","sha256":")" + kDigest + R"(","size":1})",
          R"({"outputs":[1],"path":"a.wav","sha256":")" + kDigest + R"(","size":1})",
          R"({"outputs":[],"path":"\ud800.wav","sha256":")" + kDigest + R"(","size":1})",
          std::string(R"({"outputs":[],"path":"a.wav","sha256":"abc","size":1})"),
          R"({"outputs":[],"path":"a.wav","sha256":")" + kDigest + R"(","size":1} x)", std::string(200, '[')})
        EXPECT_EQ(parseManifestLine(line), std::nullopt) << line;
}

TEST(ManifestLine, ReadsWhatOtherWritersProduce) {
    const std::string line = " {\"size\" : 3, \"sha256\":\"" + kDigest +
                             "\", \"path\":\"x\\u00e9\\/y.wav\", \"pathBytes\":\"eOkveS53YXY=\", \"outputs\":[ ]} ";
    const auto entry = parseManifestLine(line);
    EXPECT_TRUE(entry && entry->original.path.native() == "x\xe9/y.wav" && entry->original.size == 3);
}

}  // namespace
}  // namespace twinfold::test
