#include "AudioIoTestSupport.h"
#include "audio_io/ChunkFile.h"
#include "support/SndfileChunks.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <random>

using namespace twinfold;
using namespace twinfold::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint64_t containerSizeField(const Bytes& file, ChunkContainer container) {
    if (container == ChunkContainer::rf64) return loadLE64(&file[20]);
    const bool aiff = container == ChunkContainer::aiff || container == ChunkContainer::aifc;
    return aiff ? loadBE32(&file[4]) : loadLE32(&file[4]);
}

class ChunkFileTest : public testing::Test {
protected:
    TempDir dir;
    std::filesystem::path path = dir / "file.wav";
};

// Quirks of real files that readers accept around a final odd-length chunk:
// its pad byte missing, uncounted by the RIFF size, or both. Each opens with
// the right chunk, and appending restores the pad and gives a valid file.
TEST_F(ChunkFileTest, acceptsAMissingOrUncountedPadByteAndAClippedAudioChunk) {
    writeChunkFixture(path, {.samples = {1, 2, 3, 4}, .after = {FixtureChunk{"LIST", {'I', 'N', 'F', 'O', 'x'}}}});
    const Bytes good = fileBytes(path);
    Bytes uncounted = good, missing = good;
    uncounted[4] -= 1;
    missing.pop_back();
    Bytes neither = uncounted;
    neither.pop_back();
    for (const Bytes& bytes : {uncounted, missing, neither}) {
        overwriteFileBytes(path, bytes);
        auto file = ChunkFile::open(path, true);
        EXPECT_EQ(file->read(fourCC("LIST"), 0), (Bytes{'I', 'N', 'F', 'O', 'x'}));
        file->append(fourCC("iXML"), {'<', 'x', '/', '>'});
        file->close();
        const Bytes after = fileBytes(path);
        // The pad restored, the size counting it, and a chunk every reader finds.
        ASSERT_EQ(after.size(), good.size() + 12);
        EXPECT_TRUE(after[good.size() - 1] == 0 &&
                    containerSizeField(after, ChunkContainer::riff) == after.size() - 8 &&
                    sndfileChunks(path, "iXML").at(0) == (Bytes{'<', 'x', '/', '>'}));
    }

    // A recorder that crashed: the data chunk declares more than was written.
    writeChunkFixture(path, {.silentFrames = 1000});
    Bytes cut = fileBytes(path);
    cut.resize(cut.size() - 1000);
    overwriteFileBytes(path, cut);
    auto file = ChunkFile::open(path, true);
    EXPECT_EQ(file->size(fourCC("data"), 0), 4000u - 1000u);
    EXPECT_THROW(file->append(fourCC("LIST"), {1, 2}), AudioIOError);
    file->close();
    EXPECT_EQ(fileBytes(path), cut);
}

using enum ChunkFixtureContainer;

// What a damaged file is: refused; read, but with bytes after its last chunk
// that no chunk may follow; read and open to one more chunk.
enum Outcome { refused, noAppend, appends };

// Broken files, and container sizes that are wrong or bytes after the form
// as taggers, streaming recorders and careless tools leave them. Every other
// reader plays the latter; their chunks are found up to the real end of the file.
struct DamageCase {
    const char* name;
    std::function<void(Bytes&)> damage;  // given a good file of `container`
    Outcome outcome;
    ChunkFixtureContainer container = wave;
    std::size_t chunksCut = 0;  // chunks at the end that the damage took out of the file
};

// An ID3v1 tag as taggers append it: "TAG" and 125 bytes of fields.
void appendId3v1(Bytes& b, char fill) {
    b.insert(b.end(), 128, std::uint8_t(fill));
    std::memcpy(&b[b.size() - 128], "TAG", 3);
}

const DamageCase kDamage[] = {
    {"empty", [](Bytes& b) { b.clear(); }, refused},
    {"elevenBytes", [](Bytes& b) { b.resize(11); }, refused},
    {"text", [](Bytes& b) { b.assign(b.size(), 'x'); }, refused},
    {"garbage", [](Bytes& b) { std::generate(b.begin(), b.end(), std::mt19937(7)); }, refused},
    {"unknownForm", [](Bytes& b) { std::memcpy(&b[8], "AVI ", 4); }, refused},
    {"unknownAiffForm", [](Bytes& b) { std::memcpy(&b[8], "8SVX", 4); }, refused, aiff},
    {"chunkPastTheEnd", [](Bytes& b) { putLE32(b, findId(b, "LIST") + 4, 10000); }, refused},
    {"chunkClaims4GiB", [](Bytes& b) { putLE32(b, findId(b, "LIST") + 4, 0xFFFFFFF0); }, refused},
    {"aiffChunkPastTheEnd", [](Bytes& b) { putBE32(b, findId(b, "MARK") + 4, 0x7FFFFFF0); }, refused, aiff},
    {"invalidChunkId", [](Bytes& b) { std::memset(&b[findId(b, "LIST")], 0, 4); }, refused},
    {"trailingChunkCutOff", [](Bytes& b) { b.erase(b.end() - 3, b.end()); }, refused},
    {"rf64WithoutDs64", [](Bytes& b) { std::memcpy(&b[12], "JUNK", 4); }, refused, rf64},
    {"ds64TooShort", [](Bytes& b) { putLE32(b, 16, 16); }, refused, rf64},
    {"tableLongerThanDs64", [](Bytes& b) { putLE32(b, 44, 3); }, refused, rf64},
    {"placeholderWithoutTableEntry", [](Bytes& b) { putLE32(b, findId(b, "LIST") + 4, 0xFFFFFFFF); }, refused, rf64},
    {"rf64DataSizeBeyondTheForm", [](Bytes& b) { b[28] += 100; }, refused, rf64},
    {"chunkPastTheEndOfAnOversizedForm", [](Bytes& b) { putLE32(b, 4, ~0u), putLE32(b, findId(b, "LIST") + 4, 9999); },
     refused},
    {"junkInsideTheDeclaredForm", [](Bytes& b) { b.insert(b.end() - 20, 8, 0), putLE32(b, 4, b.size() - 8); }, refused},
    {"riffSizeZero", [](Bytes& b) { putLE32(b, 4, 0); }, appends},
    {"riffSizeAllOnes", [](Bytes& b) { putLE32(b, 4, 0xFFFFFFFF); }, appends},
    {"riffSizeEndsInsideAChunk", [](Bytes& b) { putLE32(b, 4, std::uint32_t(b.size() - 8 - 20)); }, appends},
    {"riffSize100TooLarge", [](Bytes& b) { putLE32(b, 4, std::uint32_t(b.size() - 8 + 100)); }, appends},
    {"listOutsideTheRiffSize", [](Bytes& b) { putLE32(b, 4, std::uint32_t(findId(b, "LIST") - 8)); }, appends},
    {"id3v1Tag", [](Bytes& b) { appendId3v1(b, '0'); }, noAppend},
    {"id3v1TagWithAllOnesSize", [](Bytes& b) { putLE32(b, 4, ~0u), appendId3v1(b, 0); }, noAppend},
    {"strayByte", [](Bytes& b) { b.push_back(0); }, noAppend},
    {"junkAfterTheForm", [](Bytes& b) { b.insert(b.end(), 40, 0xFF); }, noAppend},
    {"headerCutOff", [](Bytes& b) { b.resize(findId(b, "LIST") + 4); }, noAppend, wave, 2},
    {"formSizeTooSmall", [](Bytes& b) { putBE32(b, 4, 2); }, appends, aiff},
    {"formSizeTwoShort", [](Bytes& b) { putBE32(b, 4, std::uint32_t(b.size() - 8 - 2)); }, appends, aiff},
    {"formSizeTwoLong", [](Bytes& b) { putBE32(b, 4, std::uint32_t(b.size() - 8 + 2)); }, appends, aiff},
    {"rf64SizeTooSmall", [](Bytes& b) { b[20] -= 40; }, appends, rf64},
};

class DamagedFileTest : public testing::TestWithParam<DamageCase> {};

// A refused file is an error without crash or over-read (the asan build
// checks the latter), and opening it for writing leaves it untouched.
TEST_P(DamagedFileTest, isRefusedUnchangedOrReadToItsRealEnd) {
    const DamageCase& c = GetParam();
    TempDir dir;
    const auto path = dir / (c.container == aiff ? "file.aiff" : "file.wav");
    writeChunkFixture(path, {.container = c.container,
                             .silentFrames = 64,
                             .before = {markChunk({{1, 5, "cue"}})},
                             .after = {listInfoChunk({{"INAM", "name"}}), bextChunk("after")}});
    std::vector<ChunkEntry> expected = ChunkFile::open(path, false)->chunks();
    expected.resize(expected.size() - c.chunksCut);
    Bytes damaged = fileBytes(path);
    c.damage(damaged);
    overwriteFileBytes(path, damaged);
    const auto modified = std::filesystem::last_write_time(path);
    if (c.outcome == refused) {
        EXPECT_THROW(ChunkFile::open(path, false), AudioIOError);
        EXPECT_THROW(ChunkFile::open(path, true), AudioIOError);
        EXPECT_TRUE(fileBytes(path) == damaged && std::filesystem::last_write_time(path) == modified);
        return;
    }
    auto file = ChunkFile::open(path, true);
    EXPECT_EQ(std::pair(file->chunks(), file->bitsPerChannel()), std::pair(expected, 16));
    if (c.outcome == noAppend) {
        EXPECT_THROW(file->append(fourCC("iXML"), {'<', '/', '>'}), AudioIOError);
        file->close();
        EXPECT_EQ(fileBytes(path), damaged);
        return;
    }
    file->append(fourCC("iXML"), {'<', '/', '>'});
    file->close();
    const auto reopened = ChunkFile::open(path, false);
    EXPECT_TRUE(containerSizeField(fileBytes(path), reopened->container()) == std::filesystem::file_size(path) - 8 &&
                reopened->read(fourCC("iXML"), 0) == (Bytes{'<', '/', '>'}));
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedFileTest, testing::ValuesIn(kDamage),
                         [](const auto& info) { return std::string(info.param.name); });

// Sparse files stand in for recordings of 4 GiB: only the header is on disk.
void writeSparseWave(const std::filesystem::path& path, ChunkFixtureContainer container, std::uint64_t dataBytes) {
    writeChunkFixture(path, {.container = container});
    Bytes head = fileBytes(path);
    const std::uint64_t total = head.size() + dataBytes;
    if (container == rf64) {
        storeLE(&head[20], total - 8, 8);
        storeLE(&head[28], dataBytes, 8);
    } else {
        putLE32(head, 4, std::uint32_t(total - 8));
        putLE32(head, head.size() - 4, std::uint32_t(dataBytes));
    }
    overwriteFileBytes(path, head);
    std::filesystem::resize_file(path, total);
}

TEST_F(ChunkFileTest, refusesToPassFourGigabytesInRiffButNotInRf64) {
    writeSparseWave(path, wave, 0xFFFFFF00u - 36);
    const auto sizeBefore = std::filesystem::file_size(path);
    auto wave = ChunkFile::open(path, true);
    EXPECT_THROW(wave->append(fourCC("LIST"), Bytes(300, 1)), AudioIOError);
    wave->append(fourCC("LIST"), Bytes(200, 1));  // still fits
    EXPECT_EQ(std::filesystem::file_size(path), sizeBefore + 208);
    wave->close();

    const auto rf64Path = dir / "big.wav";
    // Just short of 8 GiB: the appended chunk carries the size into the high half.
    writeSparseWave(rf64Path, rf64, (8ull << 30) - 200);
    auto rf64 = ChunkFile::open(rf64Path, true);
    EXPECT_EQ(rf64->size(fourCC("data"), 0), (8ull << 30) - 200);
    rf64->append(fourCC("LIST"), Bytes(300, 1));
    rf64->close();
    EXPECT_EQ(ChunkFile::open(rf64Path, false)->read(fourCC("LIST"), 0), Bytes(300, 1));
    Bytes head(28);
    std::ifstream(rf64Path, std::ios::binary).read(reinterpret_cast<char*>(head.data()), 28);
    EXPECT_EQ(containerSizeField(head, ChunkContainer::rf64), std::filesystem::file_size(rf64Path) - 8);
}

}  // namespace
