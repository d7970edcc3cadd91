#include "conversion/ConverterFixture.h"

#include "support/ChunkFixtures.h"
#include "support/SndfileChunks.h"

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;

class MetadataTest : public ConverterFixture {
protected:
    AudioMetadataService metadata;
};

TEST_F(MetadataTest, BroadcastChunksReachTheMonoFileOnceEach) {
    const FixtureChunk bext = bextChunk("Scene 12 take 3", 48000 * 3600);
    const FixtureChunk ixml = ixmlChunk();
    const FixtureChunk list1 = listInfoChunk({{"INAM", "Take"}});
    const FixtureChunk list2 = listInfoChunk({{"ICMT", "second LIST"}});
    ChunkFixture fixture{.bitsPerSample = 24, .samples = {1, -1, 2, -2, 3, -3}, .before = {bext, list1},
                         .after = {ixml, list2}};
    writeChunkFixture(dir / "Take.wav", fixture);

    converter.convertToMono(dir / "Take.wav", dir / "Take_mono.wav", ChannelSelection::left);
    const fs::path out = dir / "Take_mono.wav";
    EXPECT_EQ(sndfileChunks(out, "bext"), std::vector<Bytes>{bext.data});
    EXPECT_EQ(sndfileChunks(out, "iXML"), std::vector<Bytes>{ixml.data});
    EXPECT_EQ(sndfileChunks(out, "LIST"), (std::vector<Bytes>{list1.data, list2.data}));
    EXPECT_EQ(metadata.readChunks(out), metadata.readChunks(dir / "Take.wav"));
    EXPECT_EQ(readStoredInts(out)[0], (std::vector<std::int32_t>{256, 512, 768}));
}

TEST_F(MetadataTest, AiffMarkersReachTheAiffOutput) {
    const FixtureChunk mark = markChunk({{1, 0, "Start"}, {2, 2, "Hit"}});
    const FixtureChunk anno = annoChunk("odd");
    ChunkFixture fixture{.container = ChunkFixtureContainer::aiff, .samples = {1, 2, 3, 4, 5, 6},
                         .before = {mark}, .after = {anno}};
    writeChunkFixture(dir / "Loop.aiff", fixture);
    converter.splitToTwoMono(dir / "Loop.aiff", dir / "L.aiff", dir / "R.aiff");
    for (const auto& out : {dir / "L.aiff", dir / "R.aiff"}) {
        EXPECT_EQ(pcmFileInfo(out).frames, 3);
        EXPECT_EQ(sndfileChunks(out, "MARK"), std::vector<Bytes>{mark.data});
        EXPECT_EQ(sndfileChunks(out, "ANNO"), std::vector<Bytes>{anno.data});
    }
    EXPECT_EQ(readStoredInts(dir / "R.aiff")[0], (std::vector<std::int32_t>{2 << 16, 4 << 16, 6 << 16}));
}

TEST_F(MetadataTest, OddChunkAfterOddAudioIsPaddedAndCounted) {
    // 24-bit mono with an odd frame count: the audio chunk itself is odd.
    ChunkFixture fixture{
        .channels = 1, .bitsPerSample = 24, .samples = {5, 6, 7}, .after = {{"iXML", {'<', 'a', '/', '>', 'x'}}}};
    writeChunkFixture(dir / "Odd.wav", fixture);
    writePcm(dir / "Target.wav", {PcmContainer::wav, PcmEncoding::int24}, {{5 * 0x1p-23, 6 * 0x1p-23, 7 * 0x1p-23}});

    metadata.writeChunks(metadata.readChunks(dir / "Odd.wav"), dir / "Target.wav");
    const Bytes after = fileBytes(dir / "Target.wav");
    ASSERT_EQ(after.size() % 2, 0u);
    const Bytes tail(after.end() - 14, after.end());
    EXPECT_EQ(tail, (Bytes{'i', 'X', 'M', 'L', 5, 0, 0, 0, '<', 'a', '/', '>', 'x', 0}));
    const std::uint32_t riffSize = after[4] | after[5] << 8 | after[6] << 16 | std::uint32_t(after[7]) << 24;
    EXPECT_EQ(riffSize, after.size() - 8);
    EXPECT_EQ(sndfileChunks(dir / "Target.wav", "iXML"), (std::vector<Bytes>{{'<', 'a', '/', '>', 'x'}}));
    EXPECT_EQ(readStoredInts(dir / "Target.wav")[0], (std::vector<std::int32_t>{5 << 8, 6 << 8, 7 << 8}));
}

}  // namespace
}  // namespace twinfold::test
