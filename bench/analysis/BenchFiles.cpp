#include "BenchFiles.h"

#include <sndfile.h>

#include <cstdlib>
#include <stdexcept>

namespace twinfold::bench {

namespace {

int channelsOf(Content c) { return c == Content::sixChannels ? 6 : 2; }

// Uniform noise at half scale on the integer grid of `bits`, left-justified
// in 32 bits (so negating or halving a sample stays in range).
struct Noise {
    std::uint32_t state;
    int bits;
    std::int32_t next() {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        const std::int32_t k = std::int32_t(state >> (33 - bits)) - (std::int32_t(1) << (bits - 2));
        return k * (std::int32_t(1) << (32 - bits));
    }
};

// One interleaved frame of `content` from independent noise sources;
// `grid` clears the bits below the file's resolution.
void fillFrame(Content content, Noise* noise, std::int32_t grid, std::int32_t* frame) {
    const std::int32_t a = noise[0].next();
    switch (content) {
    case Content::trueStereo: frame[0] = a, frame[1] = noise[1].next(); return;
    case Content::dualMono: frame[0] = frame[1] = a; return;
    case Content::panned: frame[0] = a, frame[1] = (a >> 1) & grid; return;
    case Content::phaseInverted: frame[0] = a, frame[1] = -a; return;
    case Content::oneSideSilent: frame[0] = a, frame[1] = 0; return;
    case Content::sixChannels:
        // 5.1 with the centre duplicated into the LFE and silent surrounds.
        frame[0] = a, frame[1] = noise[1].next(), frame[2] = noise[2].next();
        frame[3] = frame[2], frame[4] = 0, frame[5] = 0;
        return;
    }
}

}  // namespace

BenchFile writeBenchFile(const std::filesystem::path& dir, const std::string& name, Content content, int bits,
                         int sampleRate, double seconds, std::uint32_t seed) {
    const int channels = channelsOf(content);
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
    const std::filesystem::path path = dir / (name + ".wav");
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error(sf_strerror(nullptr));
    Noise noise[3] = {{seed | 1, bits}, {seed * 7919u + 1, bits}, {seed * 104729u + 3, bits}};
    const std::int32_t grid = ~((std::int32_t(1) << (32 - bits)) - 1);
    const auto totalFrames = sf_count_t(seconds * sampleRate);
    std::vector<std::int32_t> block(std::size_t(65536 * channels));
    for (sf_count_t done = 0; done < totalFrames;) {
        const sf_count_t n = std::min<sf_count_t>(65536, totalFrames - done);
        for (sf_count_t i = 0; i < n; ++i) fillFrame(content, noise, grid, block.data() + i * channels);
        if (sf_writef_int(file, block.data(), n) != n) throw std::runtime_error(sf_strerror(file));
        done += n;
    }
    if (sf_close(file) != 0) throw std::runtime_error("closing " + path.string() + " failed");
    return {name, path, content, bits};
}

BenchDir::BenchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "twinfold-analysis-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

BenchDir::~BenchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace twinfold::bench
