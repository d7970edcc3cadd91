#include "ValidCorpus.h"

#include "support/ChunkFixtures.h"
#include "support/CompressedFixtures.h"
#include "support/PcmFixtures.h"

#include <string>

namespace twinfold::test {
namespace {

struct PcmKind {
    const char* name;
    PcmContainer container;
    PcmEncoding encoding;
};

const PcmKind kPcmKinds[] = {
    {"u8.wav", PcmContainer::wav, PcmEncoding::int8},        {"s16.wav", PcmContainer::wav, PcmEncoding::int16},
    {"s24.wav", PcmContainer::wav, PcmEncoding::int24},      {"s32.wav", PcmContainer::wav, PcmEncoding::int32},
    {"f32.wav", PcmContainer::wav, PcmEncoding::float32},    {"f64.wav", PcmContainer::wav, PcmEncoding::float64},
    {"s16.rf64", PcmContainer::rf64, PcmEncoding::int16},    {"s24.rf64", PcmContainer::rf64, PcmEncoding::int24},
    {"s8.aif", PcmContainer::aiff, PcmEncoding::int8},       {"s16.aif", PcmContainer::aiff, PcmEncoding::int16},
    {"s24.aif", PcmContainer::aiff, PcmEncoding::int24},     {"f32.aifc", PcmContainer::aiff, PcmEncoding::float32},
    {"sowt16.aifc", PcmContainer::aifc, PcmEncoding::int16}, {"sowt24.aifc", PcmContainer::aifc, PcmEncoding::int24},
};

struct ChunkKind {
    const char* name;
    ChunkFixtureContainer container;
    int bits;
    std::vector<FixtureChunk> before, after;
};

std::vector<ChunkKind> chunkKinds() {
    const FixtureChunk bext = bextChunk("Scene 4 take 2", 48000 * 3600, "A=PCM,F=48000,W=24,M=stereo\r\n");
    const FixtureChunk list = listInfoChunk({{"INAM", "Take"}, {"IART", "Twinfold"}});
    return {
        {"bwf.wav", ChunkFixtureContainer::wave, 24, {bext, list}, {ixmlChunk()}},
        {"tail.wav",
         ChunkFixtureContainer::wave,
         16,
         {},
         {list, FixtureChunk{"cue ", std::vector<std::uint8_t>(52, 1)}, ixmlChunk()}},
        {"bwf.rf64", ChunkFixtureContainer::rf64, 24, {bext}, {list, ixmlChunk()}},
        {"marked.aif", ChunkFixtureContainer::aiff, 16, {markChunk({{1, 5, "Cue"}})}, {annoChunk("odd note")}},
        {"noted.aifc", ChunkFixtureContainer::aifc, 24, {annoChunk("Note")}, {annoChunk("More")}},
    };
}

}  // namespace

std::vector<std::filesystem::path> writeValidCorpus(const std::filesystem::path& dir, std::size_t frames) {
    std::vector<std::filesystem::path> paths;
    for (const PcmKind& kind : kPcmKinds) {
        paths.push_back(dir / kind.name);
        writePcm(paths.back(), {kind.container, kind.encoding, 44100},
                 stereo(StereoKind::dualMono, frames, kind.encoding));
    }
    for (const ChunkKind& kind : chunkKinds()) {
        ChunkFixture fixture{
            .container = kind.container, .bitsPerSample = kind.bits, .before = kind.before, .after = kind.after};
        const std::int32_t limit = (1 << (kind.bits - 2)) - 1;  // a dual-mono pattern on the grid
        for (std::size_t i = 0; i < frames; ++i) {
            const auto value = std::int32_t((i * 7919 + 13) % std::size_t(2 * limit)) - limit;
            fixture.samples.insert(fixture.samples.end(), {value, value});
        }
        paths.push_back(dir / kind.name);
        writeChunkFixture(paths.back(), fixture);
    }
    paths.push_back(dir / "surround.wav");
    writePcm(paths.back(), {PcmContainer::wav, PcmEncoding::int16},
             multichannel({6, {{0, 1}}, {5}}, frames, PcmEncoding::int16));
    paths.push_back(writeCompressed(dir, "tune.mp3", dualMono(frames * 4), EncodedFormat::mp3));
    paths.push_back(writeCompressed(dir, "tune.m4a", dualMono(frames * 4), EncodedFormat::m4aAac));
    return paths;
}

}  // namespace twinfold::test
