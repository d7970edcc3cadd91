#include "conversion/ConverterFixture.h"

#include "audio_io/ChunkFile.h"
#include "support/SndfileChunks.h"

#include <cstring>

namespace twinfold::test {
namespace {

using enum ChunkFixtureContainer;

class MetadataTest : public ConverterFixture {
protected:
    AudioMetadataService metadata;
};

// An AIFF 'COMT' with one comment, unstamped and tied to no marker.
FixtureChunk comtChunk(const std::string& text) {
    Bytes data{0, 1, 0, 0, 0, 0, 0, 0, std::uint8_t(text.size() >> 8), std::uint8_t(text.size())};
    data.insert(data.end(), text.begin(), text.end());
    if (text.size() % 2) data.push_back(0);
    return {"COMT", data};
}

// The name, the container of the content, the extension (the misnamed ones
// name the other container), and the chunks before and after the audio.
using CarryCase =
    std::tuple<std::string, ChunkFixtureContainer, std::string, std::vector<FixtureChunk>, std::vector<FixtureChunk>>;

class ChunkCarryTest : public MetadataTest, public ::testing::WithParamInterface<CarryCase> {};

// Every chunk reaches each output once, in order. A file's chunks have a
// place only in its own container, so the outputs keep the container of the
// content whatever the name says: every reader that read the source (they
// go by content) reads the outputs too.
TEST_P(ChunkCarryTest, EveryOutputHoldsEachChunkOnceInTheContentsContainer) {
    const auto& [name, content, extension, before, after] = GetParam();
    ChunkFixture fixture{.container = content, .bitsPerSample = 24, .before = before, .after = after};
    for (int i = 0; i < 2000; ++i) fixture.samples.push_back((i * 7919 % 16001 - 8000) * 1000);
    const fs::path source = dir / ("Hit" + extension);
    writeChunkFixture(source, fixture);
    const fs::path mono = dir / ("Hit_mono" + extension), left = dir / ("L" + extension);
    converter.convertToMono(source, mono, ChannelSelection::right);
    converter.splitToTwoMono(source, left, dir / ("R" + extension));

    std::map<std::string, std::vector<Bytes>> expected;
    for (const auto* chunks : {&before, &after})
        for (const FixtureChunk& chunk : *chunks) expected[chunk.id].push_back(chunk.data);
    for (const fs::path& out : {mono, left}) {
        const Bytes bytes = fileBytes(out);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), content == wave ? "RIFF" : "FORM");
        for (const auto& [id, datas] : expected) EXPECT_EQ(sndfileChunks(out, id), datas) << id;
        EXPECT_EQ(metadata.readChunks(out), metadata.readChunks(source));
    }
    EXPECT_EQ(readStoredInts(mono)[0], readStoredInts(source)[1]);
}

const FixtureChunk kBext = bextChunk("Scene 12 take 3"), kTimedBext = bextChunk("Scene 12 take 3", 48000 * 3600),
                   kList = listInfoChunk({{"INAM", "Take"}}), kSecondList = listInfoChunk({{"ICMT", "second LIST"}}),
                   kMarks = markChunk({{1, 0, "Start"}, {2, 2, "Hit"}}), kAnno = annoChunk("odd");
INSTANTIATE_TEST_SUITE_P(
    Sources, ChunkCarryTest,
    ::testing::Values(CarryCase{"Broadcast", wave, ".wav", {kTimedBext, kList}, {ixmlChunk(), kSecondList}},
                      CarryCase{"AiffMarkers", aiff, ".aiff", {kMarks}, {kAnno}},
                      CarryCase{"AiffNamedWav", aiff, ".wav", {}, {comtChunk("Snare, room mic")}},
                      CarryCase{"AifcNamedWav", aifc, ".WAV", {}, {kAnno}},
                      CarryCase{"WavNamedAif", wave, ".aif", {}, {kBext, kList}}),
    [](const auto& info) { return std::get<0>(info.param); });

TEST_F(MetadataTest, AChunkThatCannotBeWrittenFailsTheConversion) {
    const std::string xml = "<BWFXML>" + std::string(1'200'000, 'x') + "</BWFXML>";
    const ChunkFixture fixture{.silentFrames = 48000, .after = {ixmlChunk(xml)}};
    writeChunkFixture(dir / "Take.wav", fixture);
    const auto convert = [&] {
        converter.convertToMono(dir / "Take.wav", dir / "Take_mono.wav", ChannelSelection::left);
    };
    EXPECT_EQ(outcomeUnder(RLIMIT_FSIZE, 600'000, convert, {"'iXML'", "Take_mono.wav"}), systemsError);
}

// A chunk of more than 64 MiB, mostly a hole in the file; the marked bytes
// sit at the edges of the blocks it is copied in.
TEST_F(MetadataTest, ChunksOfAnySizeAreCarriedAndCheckedInFull) {
    const fs::path source = dir / "Long.wav";
    writeChunkFixture(source, {.samples = {1, 2, 3, 4}});
    Bytes head = fileBytes(source);
    const std::uint32_t size = (68u << 20) + 3;
    head.insert(head.end(), {'i', 'X', 'M', 'L', 0, 0, 0, 0});
    putLE32(head, head.size() - 4, size);
    putLE32(head, 4, std::uint32_t(head.size() + size + 1 - 8));
    overwriteFileBytes(source, head);
    fs::resize_file(source, head.size() + size + 1);
    const std::vector<std::uint32_t> marks = {0, (4u << 20) - 1, 4u << 20, size - 1};
    std::fstream file(source, std::ios::in | std::ios::out | std::ios::binary);
    for (std::uint32_t at : marks) file.seekp(long(head.size() + at)).put(char(0x5A));
    file.close();

    const fs::path out = dir / "Long_mono.wav";
    converter.convertToMono(source, out, ChannelSelection::left);
    const auto carried = ChunkFile::open(out, false);
    ASSERT_TRUE(carried->count(fourCC("iXML")) == 1 && carried->size(fourCC("iXML"), 0) == size);
    for (std::uint32_t at : marks) {
        char byte = 0;
        carried->readPart(fourCC("iXML"), 0, at, &byte, 1);
        EXPECT_EQ(byte, 0x5A) << at;
    }
    EXPECT_NO_THROW(requireChunksCarried(source, out));

    const std::uint64_t changedAt = carried->chunks().back().dataOffset + (5u << 20);
    std::fstream(out, std::ios::in | std::ios::out | std::ios::binary).seekp(long(changedAt)).put(1);
    const std::string message = thrownMessage<AudioIOError>([&] { requireChunksCarried(source, out); });
    EXPECT_TRUE(contains(message, "'iXML'") && contains(message, "Long_mono.wav")) << message;
}

// The check names the chunk an output lacks, and the output.
TEST_F(MetadataTest, TheCheckNamesTheChunkAnOutputLacks) {
    const FixtureChunk bext = bextChunk("Scene 1"), list1 = listInfoChunk({{"INAM", "Take"}}),
                       list2 = listInfoChunk({{"ICMT", "odd"}});
    FixtureChunk changedList2 = list2;
    changedList2.data.back() ^= 1;
    writeChunkFixture(dir / "Source.wav", {.samples = {1, 2}, .before = {bext, list1}, .after = {list2}});
    const std::pair<std::vector<FixtureChunk>, const char*> rows[] = {
        // The output's chunks, and the chunk the error names (none: the output passes).
        {{bext, list1, list2}, nullptr},
        {{bext, ixmlChunk(), list1, list2}, nullptr},
        {{}, "'bext'"},
        {{bext, list1}, "'LIST'"},
        {{bext, list1, changedList2}, "'LIST'"},
        {{bextChunk("Scene"), list1, list2}, "'bext'"},
    };
    for (const auto& [chunks, missing] : rows) {
        writeChunkFixture(dir / "Out.wav", {.channels = 1, .samples = {1}, .after = chunks});
        const auto error =
            thrown<AudioIOError>([&] { requireChunksCarried(dir / "Source.wav", dir / "Out.wav"); }, true);
        const std::string message = error ? error->what() : "";
        EXPECT_TRUE(missing ? contains(message, missing) && contains(message, "Out.wav") : message.empty()) << message;
    }
}

// Junk inside the declared form hides whatever chunks follow it. The audio
// may still be readable, but the output would lack them: nothing is written.
TEST_F(MetadataTest, ASourceWhoseChunksCannotBeReadFailsBeforeAnythingIsWritten) {
    writeChunkFixture(dir / "Take.wav",
                      {.samples = {1, 2, 3, 4}, .after = {FixtureChunk{"JUNK", Bytes(8)}, bextChunk("Scene 12")}});
    Bytes bytes = fileBytes(dir / "Take.wav");
    std::memset(&bytes[findId(bytes, "JUNK")], 0, 4);
    overwriteFileBytes(dir / "Take.wav", bytes);
    EXPECT_TRUE(contains(thrownMessage<AudioIOError>([&] {
                             converter.convertToMono(dir / "Take.wav", dir / "Take_mono.wav", ChannelSelection::left);
                         }),
                         "Take.wav"));
    EXPECT_FALSE(fs::exists(dir / "Take_mono.wav"));
}

}  // namespace
}  // namespace twinfold::test
