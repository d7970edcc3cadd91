#include "AudioIoTestSupport.h"
#include "audio_io/ChunkFile.h"
#include "support/ChunkFixtures.h"
#include "support/PcmFixtures.h"
#include "support/SndfileChunks.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>

using namespace twinfold;
using namespace twinfold::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ContainerCase {
    const char* name;
    ChunkFixtureContainer fixture;
    ChunkContainer container;
    int bits;
    const char* extension;
};

const ContainerCase kContainers[] = {
    {"wave16", ChunkFixtureContainer::wave, ChunkContainer::riff, 16, ".wav"},
    {"wave24", ChunkFixtureContainer::wave, ChunkContainer::riff, 24, ".wav"},
    {"rf64", ChunkFixtureContainer::rf64, ChunkContainer::rf64, 24, ".wav"},
    {"aiff16", ChunkFixtureContainer::aiff, ChunkContainer::aiff, 16, ".aiff"},
    {"aifc24", ChunkFixtureContainer::aifc, ChunkContainer::aifc, 24, ".aifc"},
};

bool isAiff(const ContainerCase& c) {
    return c.container == ChunkContainer::aiff || c.container == ChunkContainer::aifc;
}

std::uint32_t idOf(const std::string& text) {
    return (std::uint32_t(std::uint8_t(text[0])) << 24) | (std::uint32_t(std::uint8_t(text[1])) << 16) |
           (std::uint32_t(std::uint8_t(text[2])) << 8) | std::uint32_t(std::uint8_t(text[3]));
}

std::vector<std::int32_t> testSamples(int channels, int frames, int bits) {
    std::mt19937 random(1234);
    const std::int32_t limit = (1 << (bits - 1)) - 1;
    std::uniform_int_distribution<std::int32_t> value(-limit - 1, limit);
    std::vector<std::int32_t> samples(std::size_t(channels * frames));
    for (auto& s : samples) s = value(random);
    return samples;
}

// Typical metadata of a production file; odd-length chunks sit after the
// audio because libsndfile's RF64 reader cannot skip pad bytes before it.
ChunkFixture metadataFixture(const ContainerCase& c) {
    ChunkFixture f;
    f.container = c.fixture;
    f.bitsPerSample = c.bits;
    f.samples = testSamples(2, 301, c.bits);
    const bool rf64 = c.container == ChunkContainer::rf64;
    const std::string history = rf64 ? "A=PCM,F=48000,W=24,M=stereo,T=TF\r\n" : "A=PCM,F=48000,W=24,M=stereo\r\n";
    f.before = {bextChunk("Scene 12 take 3", 172800000, history),
                listInfoChunk({{"INAM", "Harbour"}, {"IART", "Field recordist"}}), cueChunk({0, 100, 250})};
    f.after = {ixmlChunk(), listInfoChunk({{"ICMT", "second LIST"}}), smplChunk(48000, {{10, 200}}),
               FixtureChunk{"odd ", {1, 2, 3, 4, 5}}};
    if (isAiff(c)) {
        f.before.push_back(markChunk({{1, 0, "Start"}, {2, 150, "Hit"}}));
        f.after.push_back(annoChunk("Recorded on the pier"));
        f.after.push_back(annoChunk("x"));
    }
    return f;
}

std::vector<std::string> expectedIds(const ContainerCase& c, const ChunkFixture& f) {
    std::vector<std::string> ids;
    if (c.container == ChunkContainer::rf64) ids.push_back("ds64");
    if (c.container == ChunkContainer::aifc) ids.push_back("FVER");
    ids.push_back(isAiff(c) ? "COMM" : "fmt ");
    for (const auto& chunk : f.before) ids.push_back(chunk.id);
    ids.push_back(isAiff(c) ? "SSND" : "data");
    for (const auto& chunk : f.after) ids.push_back(chunk.id);
    return ids;
}

// (id, index) → contents of the extra chunks, in file order.
std::vector<std::pair<std::string, Bytes>> extraChunks(const ChunkFixture& f) {
    std::vector<std::pair<std::string, Bytes>> all;
    for (const auto* list : {&f.before, &f.after})
        for (const auto& chunk : *list) all.emplace_back(chunk.id, chunk.data);
    return all;
}

std::uint64_t containerSizeField(const Bytes& file, ChunkContainer container) {
    if (container == ChunkContainer::aiff || container == ChunkContainer::aifc)
        return (std::uint64_t(file[4]) << 24) | (file[5] << 16) | (file[6] << 8) | file[7];
    const std::size_t at = container == ChunkContainer::rf64 ? 20 : 4;
    std::uint64_t v = 0;
    for (std::size_t i = container == ChunkContainer::rf64 ? 8 : 4; i-- > 0;) v = (v << 8) | file[at + i];
    return v;
}

// The file with its container size field zeroed, to compare the rest.
Bytes withoutSizeField(Bytes file, ChunkContainer container) {
    const std::size_t at = container == ChunkContainer::rf64 ? 20 : 4;
    std::fill_n(file.begin() + long(at), container == ChunkContainer::rf64 ? 8 : 4, 0);
    return file;
}

class ChunkContainerTest : public testing::TestWithParam<ContainerCase> {
protected:
    TempDir dir;
    std::filesystem::path path = dir / (std::string("file") + GetParam().extension);
};

// Every chunk reads back with its bytes, in file order, as libsndfile's own
// chunk iterator (an independent reader) sees it too.
TEST_P(ChunkContainerTest, readsEveryChunkWithIdenticalBytesAndIndexes) {
    const ContainerCase& c = GetParam();
    const ChunkFixture fixture = metadataFixture(c);
    writeChunkFixture(path, fixture);

    const auto file = ChunkFile::open(path, false);
    EXPECT_EQ(file->container(), c.container);
    EXPECT_EQ(file->bitsPerChannel(), c.bits);
    std::vector<std::string> ids;
    for (const ChunkEntry& entry : file->chunks()) ids.push_back(fourCCText(entry.id));
    EXPECT_EQ(ids, expectedIds(c, fixture));
    EXPECT_EQ(file->count(fourCC("LIST")), 2u);

    std::map<std::string, std::uint32_t> nextIndex;
    for (const auto& [id, data] : extraChunks(fixture)) {
        const std::uint32_t index = nextIndex[id]++;
        EXPECT_EQ(file->size(idOf(id), index), data.size()) << id << index;
        EXPECT_EQ(file->read(idOf(id), index), data) << id << index;
        const std::vector<Bytes> oracle = sndfileChunks(path, id);
        ASSERT_EQ(oracle.size(), file->count(idOf(id))) << id;
        EXPECT_EQ(oracle[index], data) << id << index;
    }
    EXPECT_THROW(file->read(fourCC("LIST"), 2), AudioIOError);
    EXPECT_THROW(file->size(fourCC("INST"), 0), AudioIOError);
}

TEST_P(ChunkContainerTest, appendPadsOddChunksFixesTheSizeAndKeepsTheAudio) {
    const ContainerCase& c = GetParam();
    const ChunkFixture fixture = metadataFixture(c);
    writeChunkFixture(path, fixture);
    const Bytes before = fileBytes(path);
    const Bytes odd = {'o', 'd', 'd', '!', '!', '!', '!'};
    const Bytes bext = bextChunk("appended").data;

    auto file = ChunkFile::open(path, true);
    file->append(fourCC("bext"), bext);
    file->append(fourCC("LIST"), odd);
    file->close();

    const Bytes after = fileBytes(path);
    ASSERT_EQ(after.size(), before.size() + (bext.size() + 8) + (odd.size() + 9));
    EXPECT_EQ(containerSizeField(before, c.container), before.size() - 8);
    EXPECT_EQ(containerSizeField(after, c.container), after.size() - 8);
    EXPECT_EQ(after.back(), 0) << "pad byte";
    const std::size_t oddSize = before.size() + bext.size() + 8 + 4;
    EXPECT_EQ(isAiff(c) ? after[oddSize + 3] : after[oddSize], odd.size()) << "true length";
    const Bytes unchanged = withoutSizeField(before, c.container);
    EXPECT_TRUE(std::equal(unchanged.begin(), unchanged.end(), withoutSizeField(after, c.container).begin()));

    const auto reopened = ChunkFile::open(path, false);
    EXPECT_EQ(reopened->count(fourCC("LIST")), 3u);
    EXPECT_EQ(reopened->read(fourCC("LIST"), 2), odd);
    EXPECT_EQ(reopened->read(fourCC("bext"), 1), bext);
    // libsndfile's RF64 reader skips no pad bytes, so it loses the chunks
    // after the fixture's odd-length one.
    if (c.container != ChunkContainer::rf64) {
        EXPECT_EQ(sndfileChunks(path, "LIST").at(2), odd);
    }
    const auto stored = readStoredInts(path);  // libsndfile still reads the audio
    ASSERT_EQ(stored[0].size() * 2, fixture.samples.size());
    for (std::size_t i = 0; i < fixture.samples.size(); ++i)
        ASSERT_EQ(stored[i % 2][i / 2] >> (32 - c.bits), fixture.samples[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Containers, ChunkContainerTest, testing::ValuesIn(kContainers),
                         [](const auto& info) { return std::string(info.param.name); });

class ChunkFileTest : public testing::Test {
protected:
    TempDir dir;
    std::filesystem::path path = dir / "file.wav";

    // A 16-bit stereo WAVE whose last chunk has an odd length (5 bytes).
    Bytes oddEndedWave() {
        ChunkFixture f;
        f.samples = testSamples(2, 10, 16);
        f.after = {FixtureChunk{"LIST", {'I', 'N', 'F', 'O', 'x'}}};
        writeChunkFixture(path, f);
        return fileBytes(path);
    }
};

// Quirks of real files that readers accept around a final odd-length chunk:
// its pad byte missing, uncounted by the RIFF size, or both. Each opens with
// the right chunk, and appending restores the pad and gives a valid file.
TEST_F(ChunkFileTest, acceptsAMissingOrUncountedPadByteAndAClippedAudioChunk) {
    const Bytes good = oddEndedWave();
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
        ASSERT_EQ(after.size(), good.size() + 12);
        EXPECT_EQ(after[good.size() - 1], 0);
        EXPECT_EQ(containerSizeField(after, ChunkContainer::riff), after.size() - 8);
        EXPECT_EQ(sndfileChunks(path, "iXML").at(0), (Bytes{'<', 'x', '/', '>'}));
    }

    // A recorder that crashed: the data chunk declares more than was written.
    ChunkFixture f;
    f.silentFrames = 1000;
    writeChunkFixture(path, f);
    Bytes cut = fileBytes(path);
    cut.resize(cut.size() - 1000);
    overwriteFileBytes(path, cut);
    auto file = ChunkFile::open(path, true);
    EXPECT_EQ(file->size(fourCC("data"), 0), 4000u - 1000u);
    EXPECT_THROW(file->append(fourCC("LIST"), {1, 2}), AudioIOError);
    file->close();
    EXPECT_EQ(fileBytes(path), cut);
}

struct DamageCase {
    const char* name;
    std::function<void(Bytes&)> damage;  // given a good file of `container`
    ChunkFixtureContainer container = ChunkFixtureContainer::wave;
};

constexpr auto kAiff = ChunkFixtureContainer::aiff;
constexpr auto kRf64 = ChunkFixtureContainer::rf64;

const DamageCase kDamage[] = {
    {"empty", [](Bytes& b) { b.clear(); }},
    {"elevenBytes", [](Bytes& b) { b.resize(11); }},
    {"text",
     [](Bytes& b) {
         const std::string t = "this is a text file named .wav\n";
         b.assign(t.begin(), t.end());
     }},
    {"garbage",
     [](Bytes& b) {
         std::mt19937 r(7);
         for (auto& x : b) x = std::uint8_t(r());
     }},
    {"unknownForm", [](Bytes& b) { std::memcpy(&b[8], "AVI ", 4); }},
    {"unknownAiffForm", [](Bytes& b) { std::memcpy(&b[8], "8SVX", 4); }, kAiff},
    {"chunkPastTheEnd", [](Bytes& b) { putLE32(b, findId(b, "LIST") + 4, 10000); }},
    {"chunkClaims4GiB", [](Bytes& b) { putLE32(b, findId(b, "LIST") + 4, 0xFFFFFFF0); }},
    {"aiffChunkPastTheEnd", [](Bytes& b) { putBE32(b, findId(b, "MARK") + 4, 0x7FFFFFF0); }, kAiff},
    {"invalidChunkId", [](Bytes& b) { std::memset(&b[findId(b, "LIST")], 0, 4); }},
    {"trailingChunkCutOff", [](Bytes& b) { b.erase(b.end() - 3, b.end()); }},
    {"rf64WithoutDs64", [](Bytes& b) { std::memcpy(&b[12], "JUNK", 4); }, kRf64},
    {"ds64TooShort", [](Bytes& b) { putLE32(b, 16, 16); }, kRf64},
    {"tableLongerThanDs64", [](Bytes& b) { putLE32(b, 44, 3); }, kRf64},
    {"placeholderWithoutTableEntry", [](Bytes& b) { putLE32(b, findId(b, "LIST") + 4, 0xFFFFFFFF); }, kRf64},
    {"rf64DataSizeBeyondTheForm", [](Bytes& b) { b[28] += 100; }, kRf64},
    {"chunkPastTheEndOfAnOversizedForm",
     [](Bytes& b) {
         putLE32(b, 4, 0xFFFFFFFF);
         putLE32(b, findId(b, "LIST") + 4, 9999);
     }},
    {"junkInsideTheDeclaredForm",
     [](Bytes& b) {
         b.insert(b.end() - 20, 8, 0);
         putLE32(b, 4, std::uint32_t(b.size() - 8));
     }},
};

// Writes the file the damage and framing cases start from.
Bytes writeCaseFixture(const std::filesystem::path& path, ChunkFixtureContainer container) {
    ChunkFixture f;
    f.container = container;
    f.silentFrames = 64;
    f.before = {markChunk({{1, 5, "cue"}})};
    f.after = {listInfoChunk({{"INAM", "name"}}), bextChunk("after")};
    writeChunkFixture(path, f);
    return fileBytes(path);
}

std::string caseFileName(ChunkFixtureContainer container) { return container == kAiff ? "file.aiff" : "file.wav"; }

// Container sizes that are wrong, and bytes after the form, as taggers,
// streaming recorders and careless tools leave them. Every other reader
// plays these files; the chunks are found up to the real end of the file.
struct FramingCase {
    const char* name;
    std::function<void(Bytes&)> damage;
    ChunkFixtureContainer container = ChunkFixtureContainer::wave;
    std::size_t chunksCut = 0;  // chunks at the end that the damage took out of the file
    bool takesAChunk = true;    // false: bytes follow the last chunk
};

const FramingCase kFraming[] = {
    {"riffSizeZero", [](Bytes& b) { putLE32(b, 4, 0); }},
    {"riffSizeAllOnes", [](Bytes& b) { putLE32(b, 4, 0xFFFFFFFF); }},
    {"riffSizeEndsInsideAChunk", [](Bytes& b) { putLE32(b, 4, std::uint32_t(b.size() - 8 - 20)); }},
    {"riffSize100TooLarge", [](Bytes& b) { putLE32(b, 4, std::uint32_t(b.size() - 8 + 100)); }},
    {"listOutsideTheRiffSize", [](Bytes& b) { putLE32(b, 4, std::uint32_t(findId(b, "LIST") - 8)); }},
    {"id3v1Tag",
     [](Bytes& b) {
         const std::string t = "TAG" + std::string(125, '0');
         b.insert(b.end(), t.begin(), t.end());
     },
     ChunkFixtureContainer::wave, 0, false},
    {"id3v1TagWithAllOnesSize",
     [](Bytes& b) {
         putLE32(b, 4, 0xFFFFFFFF);
         b.insert(b.end(), 128, 0);
         std::memcpy(&b[b.size() - 128], "TAG", 3);
     },
     ChunkFixtureContainer::wave, 0, false},
    {"strayByte", [](Bytes& b) { b.push_back(0); }, ChunkFixtureContainer::wave, 0, false},
    {"junkAfterTheForm", [](Bytes& b) { b.insert(b.end(), 40, 0xFF); }, ChunkFixtureContainer::wave, 0, false},
    {"headerCutOff", [](Bytes& b) { b.resize(findId(b, "LIST") + 4); }, ChunkFixtureContainer::wave, 2, false},
    {"formSizeTooSmall", [](Bytes& b) { putBE32(b, 4, 2); }, kAiff},
    {"formSizeTwoShort", [](Bytes& b) { putBE32(b, 4, std::uint32_t(b.size() - 8 - 2)); }, kAiff},
    {"formSizeTwoLong", [](Bytes& b) { putBE32(b, 4, std::uint32_t(b.size() - 8 + 2)); }, kAiff},
    {"rf64SizeTooSmall", [](Bytes& b) { b[20] -= 40; }, kRf64},
};

class FramingTest : public testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, findsTheChunksUpToTheEndOfTheFile) {
    const FramingCase& c = GetParam();
    TempDir dir;
    const auto path = dir / caseFileName(c.container);
    writeCaseFixture(path, c.container);
    std::vector<ChunkEntry> expected = ChunkFile::open(path, false)->chunks();
    expected.resize(expected.size() - c.chunksCut);
    Bytes damaged = fileBytes(path);
    c.damage(damaged);
    overwriteFileBytes(path, damaged);

    auto file = ChunkFile::open(path, true);
    EXPECT_EQ(file->chunks(), expected);
    EXPECT_EQ(file->bitsPerChannel(), 16);
    if (!c.takesAChunk) {
        EXPECT_THROW(file->append(fourCC("iXML"), {'<', '/', '>'}), AudioIOError);
        file->close();
        EXPECT_EQ(fileBytes(path), damaged);
        return;
    }
    file->append(fourCC("iXML"), {'<', '/', '>'});
    file->close();
    const Bytes after = fileBytes(path);
    EXPECT_EQ(containerSizeField(after, c.container == kAiff   ? ChunkContainer::aiff
                                        : c.container == kRf64 ? ChunkContainer::rf64
                                                               : ChunkContainer::riff),
              after.size() - 8);
    EXPECT_EQ(ChunkFile::open(path, false)->read(fourCC("iXML"), 0), (Bytes{'<', '/', '>'}));
}

INSTANTIATE_TEST_SUITE_P(Framing, FramingTest, testing::ValuesIn(kFraming),
                         [](const auto& info) { return std::string(info.param.name); });

class DamagedFileTest : public testing::TestWithParam<DamageCase> {};

// Every broken file is an error without crash or over-read (the asan
// build checks the latter), and opening it for writing leaves it untouched.
TEST_P(DamagedFileTest, isAnErrorAndStaysUnchanged) {
    TempDir dir;
    const auto path = dir / caseFileName(GetParam().container);
    Bytes damaged = writeCaseFixture(path, GetParam().container);
    GetParam().damage(damaged);
    overwriteFileBytes(path, damaged);
    const auto modified = std::filesystem::last_write_time(path);

    EXPECT_THROW(ChunkFile::open(path, false), AudioIOError);
    EXPECT_THROW(ChunkFile::open(path, true), AudioIOError);
    EXPECT_EQ(fileBytes(path), damaged);
    EXPECT_EQ(std::filesystem::last_write_time(path), modified);
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedFileTest, testing::ValuesIn(kDamage),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChunkFileTest, missingPathsDirectoriesAndReadOnlyHandlesAreErrors) {
    EXPECT_THROW(ChunkFile::open(dir / "missing.wav", false), AudioIOError);
    EXPECT_THROW(ChunkFile::open(dir.path(), false), AudioIOError);
    oddEndedWave();
    const auto file = ChunkFile::open(path, false);
    EXPECT_THROW(file->append(fourCC("LIST"), {1}), AudioIOError);
    EXPECT_THROW(file->append(fourCC("LI\tT"), {1}), AudioIOError);
}

// Sparse files stand in for recordings of 4 GiB: only the header is on disk.
void writeSparseWave(const std::filesystem::path& path, ChunkFixtureContainer container, std::uint64_t dataBytes) {
    ChunkFixture f;
    f.container = container;
    writeChunkFixture(path, f);
    Bytes head = fileBytes(path);
    const std::uint64_t total = head.size() + dataBytes;
    if (container == ChunkFixtureContainer::rf64) {
        for (int i = 0; i < 8; ++i) head[20 + std::size_t(i)] = std::uint8_t((total - 8) >> (8 * i));
        for (int i = 0; i < 8; ++i) head[28 + std::size_t(i)] = std::uint8_t(dataBytes >> (8 * i));
    } else {
        putLE32(head, 4, std::uint32_t(total - 8));
        putLE32(head, head.size() - 4, std::uint32_t(dataBytes));
    }
    overwriteFileBytes(path, head);
    std::filesystem::resize_file(path, total);
}

TEST_F(ChunkFileTest, refusesToPassFourGigabytesInRiffButNotInRf64) {
    writeSparseWave(path, ChunkFixtureContainer::wave, 0xFFFFFF00u - 36);
    const auto sizeBefore = std::filesystem::file_size(path);
    auto wave = ChunkFile::open(path, true);
    EXPECT_THROW(wave->append(fourCC("LIST"), Bytes(300, 1)), AudioIOError);
    wave->append(fourCC("LIST"), Bytes(200, 1));  // still fits
    EXPECT_EQ(std::filesystem::file_size(path), sizeBefore + 208);
    wave->close();

    const auto rf64Path = dir / "big.wav";
    writeSparseWave(rf64Path, ChunkFixtureContainer::rf64, 5ull << 30);
    auto rf64 = ChunkFile::open(rf64Path, true);
    EXPECT_EQ(rf64->size(fourCC("data"), 0), 5ull << 30);
    rf64->append(fourCC("LIST"), Bytes(300, 1));
    rf64->close();
    const auto reopened = ChunkFile::open(rf64Path, false);
    EXPECT_EQ(reopened->read(fourCC("LIST"), 0), Bytes(300, 1));
}

}  // namespace
