// Damaged copies of valid files, run through the scan and the conversion as
// the application runs them: nothing may crash or hang, the damaged file is
// never changed, and every output is either absent or whole.
//
// TWINFOLD_MUTATION_SEED picks other mutants (the seed is printed with every
// failure); TWINFOLD_MUTATION_COUNT sets how many are made of each file.

#include "analysis/AudioAnalyzerService.h"
#include "audio_io/AudioFileReader.h"
#include "audio_io/ByteOrder.h"
#include "audio_io/ChunkParser.h"
#include "conversion/AudioConverterService.h"
#include "support/ChunkFixtures.h"
#include "support/CompressedFixtures.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <stdexcept>
#include <tuple>

#include <unistd.h>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// ---- the valid files ---------------------------------------------------------

// Short valid files of every kind the application reads, written into
// `dir`: WAV at 8, 16, 24 and 32 bits and float, RF64, AIFF and AIFF-C,
// files carrying bext, LIST and iXML (or MARK and ANNO) chunks, a
// six-channel WAV, MP3 and M4A. Stereo files are dual mono, so each one
// converts.

const std::tuple<const char*, PcmContainer, PcmEncoding> kPcmKinds[] = {
    {"u8.wav", PcmContainer::wav, PcmEncoding::int8},        {"s16.wav", PcmContainer::wav, PcmEncoding::int16},
    {"s24.wav", PcmContainer::wav, PcmEncoding::int24},      {"s32.wav", PcmContainer::wav, PcmEncoding::int32},
    {"f32.wav", PcmContainer::wav, PcmEncoding::float32},    {"f64.wav", PcmContainer::wav, PcmEncoding::float64},
    {"s16.rf64", PcmContainer::rf64, PcmEncoding::int16},    {"s24.rf64", PcmContainer::rf64, PcmEncoding::int24},
    {"s8.aif", PcmContainer::aiff, PcmEncoding::int8},       {"s16.aif", PcmContainer::aiff, PcmEncoding::int16},
    {"s24.aif", PcmContainer::aiff, PcmEncoding::int24},     {"f32.aifc", PcmContainer::aiff, PcmEncoding::float32},
    {"sowt16.aifc", PcmContainer::aifc, PcmEncoding::int16}, {"sowt24.aifc", PcmContainer::aifc, PcmEncoding::int24},
};

// The file, its container and bits, and its chunks before and after the audio.
using ChunkKind =
    std::tuple<const char*, ChunkFixtureContainer, int, std::vector<FixtureChunk>, std::vector<FixtureChunk>>;

std::vector<ChunkKind> chunkKinds() {
    const FixtureChunk bext = bextChunk("Scene 4 take 2", 48000 * 3600, "A=PCM,F=48000,W=24,M=stereo\r\n");
    const FixtureChunk list = listInfoChunk({{"INAM", "Take"}, {"IART", "Twinfold"}});
    const FixtureChunk cue{"cue ", Bytes(52, 1)};
    return {
        {"bwf.wav", ChunkFixtureContainer::wave, 24, {bext, list}, {ixmlChunk()}},
        {"tail.wav", ChunkFixtureContainer::wave, 16, {}, {list, cue, ixmlChunk()}},
        {"bwf.rf64", ChunkFixtureContainer::rf64, 24, {bext}, {list, ixmlChunk()}},
        {"marked.aif", ChunkFixtureContainer::aiff, 16, {markChunk({{1, 5, "Cue"}})}, {annoChunk("odd note")}},
        {"noted.aifc", ChunkFixtureContainer::aifc, 24, {annoChunk("Note")}, {annoChunk("More")}},
    };
}

std::vector<std::filesystem::path> writeValidCorpus(const std::filesystem::path& dir, std::size_t frames) {
    std::vector<std::filesystem::path> paths;
    for (const auto& [name, container, encoding] : kPcmKinds) {
        paths.push_back(dir / name);
        writePcm(paths.back(), {container, encoding, 44100}, stereo(StereoKind::dualMono, frames, encoding));
    }
    for (const auto& [name, container, bits, before, after] : chunkKinds()) {
        ChunkFixture fixture{.container = container, .bitsPerSample = bits, .before = before, .after = after};
        const std::int32_t limit = (1 << (bits - 2)) - 1;  // a dual-mono pattern on the grid
        for (std::size_t i = 0; i < frames; ++i) {
            const auto value = std::int32_t((i * 7919 + 13) % std::size_t(2 * limit)) - limit;
            fixture.samples.insert(fixture.samples.end(), {value, value});
        }
        paths.push_back(dir / name);
        writeChunkFixture(paths.back(), fixture);
    }
    paths.push_back(dir / "surround.wav");
    writePcm(paths.back(), {PcmContainer::wav, PcmEncoding::int16},
             multichannel({6, {{0, 1}}, {5}}, frames, PcmEncoding::int16));
    paths.push_back(writeCompressed(dir, "tune.mp3", dualMono(frames * 4), EncodedFormat::mp3));
    paths.push_back(writeCompressed(dir, "tune.m4a", dualMono(frames * 4), EncodedFormat::m4aAac));
    return paths;
}

// ---- the damage ------------------------------------------------------------------

// Byte-level damage to valid audio files, the way disks, transfers and
// careless tools damage them: flipped bits, cut-off ends, size fields that
// lie, chunks written twice or out of order. Where the file's structure is
// known (RIFF/RF64/AIFF chunks, MP4 boxes) the size fields and chunk spans
// are the targets; elsewhere bits and lengths are.

// Where a valid file keeps its lengths and its chunks.
struct FileStructure {
    struct SizeField {
        std::size_t at = 0;
        int width = 4;  // bytes: 4, or 8 for the 64-bit sizes of 'ds64'
        bool bigEndian = false;
    };
    struct Span {
        std::size_t begin = 0, end = 0;  // a whole chunk or box: header, contents, pad byte
    };
    std::vector<SizeField> sizeFields;
    std::vector<Span> chunks;      // top-level, in file order
    std::size_t headerBytes = 64;  // where most parsing decisions lie
};

struct Mutant {
    Bytes bytes;
    std::string description;  // what was done, to reproduce a failure by hand
};

void addChunkStructure(const Bytes& file, FileStructure& structure) {
    const MemoryByteSource source(file.data(), file.size());
    ChunkLayout layout;
    try {
        layout = parseChunkLayout(source);
    } catch (const std::exception&) {
        return;
    }
    const bool bigEndian = layout.container == ChunkContainer::aiff || layout.container == ChunkContainer::aifc;
    structure.sizeFields.push_back({4, 4, bigEndian});
    for (const ChunkEntry& chunk : layout.chunks) {
        structure.sizeFields.push_back({std::size_t(chunk.dataOffset - 4), 4, bigEndian});
        const std::uint64_t padded = chunk.dataOffset + chunk.size + (chunk.size & 1);
        const std::uint64_t end = std::min<std::uint64_t>(padded, file.size());
        structure.chunks.push_back({std::size_t(chunk.dataOffset - 8), std::size_t(end)});
        if (chunk.id == fourCC("ds64")) {
            for (std::size_t field = 0; field < 24 && field + 8 <= chunk.size; field += 8)
                structure.sizeFields.push_back({std::size_t(chunk.dataOffset + field), 8, false});
        }
        // AIFF's frame count and SSND's offset are lengths as well.
        if (chunk.id == fourCC("COMM") && chunk.size >= 6)
            structure.sizeFields.push_back({std::size_t(chunk.dataOffset + 2), 4, true});
        if (chunk.id == fourCC("SSND") && chunk.size >= 8)
            structure.sizeFields.push_back({std::size_t(chunk.dataOffset), 4, true});
    }
    if (!layout.chunks.empty()) structure.headerBytes = std::size_t(layout.chunks.back().dataOffset);
}

// MP4 boxes: a 32-bit big-endian size, then the type. Containers whose
// children matter for audio are entered.
void addBoxes(const Bytes& file, std::size_t begin, std::size_t end, int depth, FileStructure& structure) {
    static const char* const containers[] = {"moov", "trak", "mdia", "minf", "stbl", "udta", "edts"};
    for (std::size_t at = begin; at + 8 <= end;) {
        const std::uint32_t size = loadBE32(&file[at]);
        if (size < 8 || size > end - at) return;
        structure.sizeFields.push_back({at, 4, true});
        if (depth == 0) structure.chunks.push_back({at, at + size});
        for (const char* type : containers)
            if (std::memcmp(&file[at + 4], type, 4) == 0) addBoxes(file, at + 8, at + size, depth + 1, structure);
        at += size;
    }
}

template <typename T>
T pick(std::mt19937_64& random, T low, T high) {
    return std::uniform_int_distribution<T>(low, high)(random);
}

// Most parsing decisions lie in the header; the rest of the file gets a share.
std::size_t pickOffset(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const std::size_t header = std::min(structure.headerBytes + 16, file.size());
    return pick<std::size_t>(random, 0, (pick(random, 0, 3) != 0 ? header : file.size()) - 1);
}

Mutant flipBits(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    Mutant mutant{file, "flipped bits at"};
    for (int n = pick(random, 1, 8); n > 0; --n) {
        const std::size_t at = pickOffset(file, structure, random);
        mutant.bytes[at] ^= std::uint8_t(1u << pick(random, 0, 7));
        mutant.description.append(1, ' ').append(std::to_string(at));
    }
    return mutant;
}

Mutant truncate(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const std::size_t keep = pickOffset(file, structure, random);
    return {Bytes(file.begin(), file.begin() + std::ptrdiff_t(keep)), "cut to " + std::to_string(keep) + " bytes"};
}

Mutant lieAboutSize(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const auto& field = structure.sizeFields[pick<std::size_t>(random, 0, structure.sizeFields.size() - 1)];
    const std::uint64_t all = field.width == 8 ? ~std::uint64_t(0) : 0xFFFFFFFFu;
    const std::uint64_t pastEnd = file.size() - field.at + pick<std::uint64_t>(random, 1, 4096);
    const std::uint64_t values[] = {0, all, pastEnd, all - 1, 1};
    const std::uint64_t value = values[pick(random, 0, 4)];
    Mutant mutant{file, "size field at " + std::to_string(field.at) + " set to " + std::to_string(value)};
    (field.bigEndian ? storeBE : storeLE)(&mutant.bytes[field.at], value, field.width);
    return mutant;
}

Mutant duplicateChunk(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const auto& span = structure.chunks[pick<std::size_t>(random, 0, structure.chunks.size() - 1)];
    Mutant mutant{file, "chunk at " + std::to_string(span.begin) + " written twice"};
    mutant.bytes.insert(mutant.bytes.begin() + std::ptrdiff_t(span.end), file.begin() + std::ptrdiff_t(span.begin),
                        file.begin() + std::ptrdiff_t(span.end));
    return mutant;
}

Mutant swapChunks(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    const std::size_t first = pick<std::size_t>(random, 0, structure.chunks.size() - 2);
    const auto &a = structure.chunks[first], &b = structure.chunks[first + 1];
    Mutant mutant{Bytes(file.begin(), file.begin() + std::ptrdiff_t(a.begin)),
                  "chunks at " + std::to_string(a.begin) + " and " + std::to_string(b.begin) + " swapped"};
    const auto at = [&](std::size_t offset) { return file.begin() + std::ptrdiff_t(offset); };
    mutant.bytes.insert(mutant.bytes.end(), at(b.begin), at(b.end));
    mutant.bytes.insert(mutant.bytes.end(), at(a.begin), at(a.end));
    mutant.bytes.insert(mutant.bytes.end(), at(b.end), file.end());
    return mutant;
}

FileStructure findStructure(const Bytes& file) {
    FileStructure structure;
    if (file.size() >= 12) {
        addChunkStructure(file, structure);
        if (structure.chunks.empty() && std::memcmp(&file[4], "ftyp", 4) == 0)
            addBoxes(file, 0, file.size(), 0, structure);
    }
    return structure;
}

Mutant mutate(const Bytes& file, const FileStructure& structure, std::mt19937_64& random) {
    if (file.empty()) throw std::invalid_argument("nothing to mutate");
    const int kinds = structure.chunks.size() >= 2 ? 5 : structure.sizeFields.empty() ? 2 : 3;
    switch (pick(random, 0, kinds - 1)) {
    case 0: return flipBits(file, structure, random);
    case 1: return truncate(file, structure, random);
    case 2: return lieAboutSize(file, structure, random);
    case 3: return duplicateChunk(file, structure, random);
    default: return swapChunks(file, structure, random);
    }
}

// ---- the test -------------------------------------------------------------------

constexpr std::uint64_t kDefaultSeed = 20261207;
constexpr int kDefaultMutantsPerFile = 300;
constexpr auto kTimeLimit = std::chrono::seconds(10);

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 0) : fallback;
}

// Ends the process, naming the input, when one input takes longer than the
// limit: a hung decoder cannot be stopped from outside, and the test must
// not wait forever. The handler may only call what is safe in a signal.
char hungInput[1024];
void onAlarm(int) {
    const char prefix[] = "HANG: this took more than the limit: ";
    if (::write(STDERR_FILENO, prefix, sizeof prefix - 1) > 0)
        (void)!::write(STDERR_FILENO, hungInput, std::strlen(hungInput));
    ::_exit(1);
}

void armWatchdog(const std::string& what) {
    std::snprintf(hungInput, sizeof hungInput, "%s\n", what.c_str());
    ::alarm(unsigned(kTimeLimit.count()));
}

// Errors a damaged file may rightly end in; these others are faults.
template <typename Work>
void expectCleanRefusal(const std::string& what, const Work& work) {
    try {
        work();
    } catch (const std::bad_alloc&) {
        ADD_FAILURE() << what << ": ran out of memory";
    } catch (const std::logic_error& error) {
        ADD_FAILURE() << what << ": " << error.what();
    } catch (const std::exception&) {}
}

class MutationTest : public ::testing::Test {
protected:
    void runMutant(const fs::path& path, const Bytes& bytes, const std::string& what);

    int scanned_ = 0, converted_ = 0;
    AudioAnalyzerService analyzer_{1.5848932e-5f};
    AudioConverterService converter_;
    AppSettings settings_{.originalFileHandling = OriginalFileHandling::leaveInPlace};
};

void MutationTest::runMutant(const fs::path& path, const Bytes& bytes, const std::string& what) {
    std::optional<ScanResult> result;
    expectCleanRefusal(what + " (scan)", [&] { result = analyzer_.analyzeFile(path); });
    // What the source's reader promised: each output holds its length at its rate.
    std::int64_t frames = -1;
    int rate = 0;
    std::vector<fs::path> outputs;
    if (result && !result->unreadableReason) {
        ++scanned_;
        expectCleanRefusal(what + " (open)", [&] {
            const auto reader = openAudioFile(path);
            frames = reader->length();
            rate = int(std::lround(reader->sampleRate()));
        });
        expectCleanRefusal(what + " (convert)", [&] { outputs = converter_.convertFiles({*result}, settings_); });
    }
    converted_ += outputs.empty() ? 0 : 1;
    EXPECT_EQ(fileBytes(path), bytes) << what << ": the source changed";
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        if (entry.path() == path) continue;
        if (std::find(outputs.begin(), outputs.end(), entry.path()) == outputs.end()) {
            ADD_FAILURE() << what << ": left " << entry.path().filename() << " behind";
        } else {
            try {
                const PcmFileInfo info = pcmFileInfo(entry.path());
                EXPECT_EQ(std::tuple(info.frames, info.sampleRate, info.channels), std::tuple(frames, rate, 1)) << what;
                // No real recording runs outside these; a rate outside them was read from damage.
                EXPECT_TRUE(rate >= 1 && rate <= 1'536'000) << what << ": rate " << rate;
                readFloats(entry.path());  // throws unless every frame is present
            } catch (const std::exception& error) {
                ADD_FAILURE() << what << ": output " << entry.path() << " unreadable: " << error.what();
            }
        }
        fs::remove(entry.path());
    }
}

TEST_F(MutationTest, DamagedFilesAreRefusedOrConvertedWhole) {
    const std::uint64_t seed = envNumber("TWINFOLD_MUTATION_SEED", kDefaultSeed);
    const auto count = int(envNumber("TWINFOLD_MUTATION_COUNT", kDefaultMutantsPerFile));
    SCOPED_TRACE("TWINFOLD_MUTATION_SEED=" + std::to_string(seed));
    TempDir dir;
    for (const char* sub : {"valid", "work"}) fs::create_directory(dir / sub);
    std::signal(SIGALRM, onAlarm);
    int mutants = 0;
    for (const fs::path& valid : writeValidCorpus(dir / "valid", 600)) {
        const Bytes original = fileBytes(valid);
        const FileStructure structure = findStructure(original);
        // Each file's mutants depend on the seed and its name only.
        std::mt19937_64 random(seed ^ std::hash<std::string>{}(valid.filename().string()));
        const fs::path path = dir / "work" / valid.filename();
        for (int i = 0; i < count; ++i) {
            const Mutant mutant = mutate(original, structure, random);
            const std::string what = valid.filename().string() + " mutant " + std::to_string(i) + " (" +
                                     mutant.description + ", seed " + std::to_string(seed) + ")";
            overwriteFileBytes(path, mutant.bytes);
            armWatchdog(what);
            ++mutants;
            runMutant(path, mutant.bytes, what);
            ::alarm(0);
            if (HasFailure()) return;  // the first damaged file that fails is the one to look at
        }
        fs::remove(path);
    }
    // Damage that every reader refuses or none notices would test nothing.
    std::printf("%d damaged files scanned, %d of them converted\n", scanned_, converted_);
    EXPECT_TRUE(scanned_ > 0 && converted_ > 0 && scanned_ < mutants);
}

}  // namespace
}  // namespace twinfold::test
