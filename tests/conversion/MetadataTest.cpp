#include "conversion/ConverterFixture.h"

#include "support/ChunkFixtures.h"

#include <cstdio>
#include <memory>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;

class MetadataTest : public ConverterFixture {
protected:
    AudioMetadataService metadata;
};

// The first line ffprobe prints for one format tag, or "" without ffprobe.
std::string ffprobeTag(const fs::path& path, const std::string& tag) {
    const std::string command = "ffprobe -v error -show_entries format_tags=" + tag +
                                " -of default=noprint_wrappers=1:nokey=1 \"" + path.string() + "\" 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char line[256] = {};
    if (!pipe || !std::fgets(line, sizeof line, pipe.get())) return {};
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

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
    const std::string description = ffprobeTag(out, "description");
    if (!description.empty()) {
        EXPECT_EQ(description, "Scene 12 take 3");
    }
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

TEST_F(MetadataTest, BestEffortOnBadFiles) {
    std::ofstream(dir / "tiny.wav") << "RIFF1";
    std::ofstream(dir / "text.wav") << "this is not a RIFF file at all";
    const std::vector<AudioChunk> chunks{{fourCharCode("bext"), {1, 2, 3}, 0}};
    EXPECT_ANY_THROW(metadata.writeChunks(chunks, dir / "tiny.wav"));
    EXPECT_EQ(fileBytes(dir / "tiny.wav"), (Bytes{'R', 'I', 'F', 'F', '1'}));
    EXPECT_TRUE(metadata.readChunks(dir / "tiny.wav").empty());
    EXPECT_TRUE(metadata.readChunks(dir / "text.wav").empty());
    EXPECT_TRUE(metadata.readChunks(dir / "missing.wav").empty());
    EXPECT_NO_THROW(metadata.writeChunks({}, dir / "missing.wav"));
}

}  // namespace
}  // namespace twinfold::test
