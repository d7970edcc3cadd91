#include "conversion/SoundFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <stdexcept>

namespace twinfold::test {

namespace fs = std::filesystem;

namespace {

SNDFILE* openOrThrow(const fs::path& path, int mode, SF_INFO& info) {
    SNDFILE* file = sf_open(path.c_str(), mode, &info);
    if (!file) throw std::runtime_error(path.string() + ": " + sf_strerror(nullptr));
    return file;
}

}  // namespace

std::vector<std::int32_t> SoundFile::channel(int c) const {
    std::vector<std::int32_t> result;
    for (std::size_t i = std::size_t(c); i < samples.size(); i += std::size_t(channels)) result.push_back(samples[i]);
    return result;
}

std::vector<std::int32_t> randomSamples(std::size_t count, int bits, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int64_t> value(-(std::int64_t(1) << (bits - 1)),
                                                      (std::int64_t(1) << (bits - 1)) - 1);
    std::vector<std::int32_t> samples(count);
    for (auto& s : samples) s = std::int32_t(std::uint32_t(value(random)) << (32 - bits));
    if (count >= 2) {
        samples[0] = std::numeric_limits<std::int32_t>::min();
        samples[1] = std::int32_t(std::uint32_t(std::numeric_limits<std::int32_t>::max()) >> (32 - bits) << (32 - bits));
    }
    return samples;
}

std::vector<std::int32_t> interleave(const std::vector<std::vector<std::int32_t>>& channels) {
    std::vector<std::int32_t> result;
    for (std::size_t i = 0; i < channels.front().size(); ++i) {
        for (const auto& channel : channels) result.push_back(channel[i]);
    }
    return result;
}

void writeSound(const fs::path& path, int format, int channels, const std::vector<std::int32_t>& interleaved,
                int sampleRate) {
    SF_INFO info{.frames = 0, .samplerate = sampleRate, .channels = channels, .format = format};
    SNDFILE* file = openOrThrow(path, SFM_WRITE, info);
    sf_writef_int(file, interleaved.data(), sf_count_t(interleaved.size() / std::size_t(channels)));
    sf_close(file);
}

void writeSoundDoubles(const fs::path& path, int format, int channels, const std::vector<double>& interleaved,
                       int sampleRate) {
    SF_INFO info{.frames = 0, .samplerate = sampleRate, .channels = channels, .format = format};
    SNDFILE* file = openOrThrow(path, SFM_WRITE, info);
    sf_writef_double(file, interleaved.data(), sf_count_t(interleaved.size() / std::size_t(channels)));
    sf_close(file);
}

SoundFile readSound(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = openOrThrow(path, SFM_READ, info);
    const int container = info.format & SF_FORMAT_TYPEMASK;
    const int format = container == SF_FORMAT_WAVEX ? (info.format & ~SF_FORMAT_TYPEMASK) | SF_FORMAT_WAV : info.format;
    SoundFile sound{format, info.channels, info.samplerate, info.frames, {}};
    sound.samples.resize(std::size_t(info.frames * info.channels));
    const sf_count_t read = sf_readf_int(file, sound.samples.data(), info.frames);
    sf_close(file);
    sound.samples.resize(std::size_t(read * info.channels));
    return sound;
}

std::vector<double> readSoundDoubles(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = openOrThrow(path, SFM_READ, info);
    std::vector<double> samples(std::size_t(info.frames * info.channels));
    const sf_count_t read = sf_readf_double(file, samples.data(), info.frames);
    sf_close(file);
    samples.resize(std::size_t(read * info.channels));
    return samples;
}

std::vector<Bytes> sndfileChunks(const fs::path& path, const std::string& id) {
    SF_INFO info{};
    SNDFILE* file = openOrThrow(path, SFM_READ, info);
    SF_CHUNK_INFO wanted{};
    std::memcpy(wanted.id, id.data(), 4);
    wanted.id_size = 4;
    std::vector<Bytes> found;
    for (SF_CHUNK_ITERATOR* it = sf_get_chunk_iterator(file, &wanted); it; it = sf_next_chunk_iterator(it)) {
        SF_CHUNK_INFO chunk{};
        if (sf_get_chunk_size(it, &chunk) != SF_ERR_NO_ERROR) break;
        Bytes data(chunk.datalen);
        chunk.data = data.data();
        if (sf_get_chunk_data(it, &chunk) != SF_ERR_NO_ERROR) break;
        found.push_back(data);
    }
    sf_close(file);
    return found;
}

std::vector<std::string> folderListing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace twinfold::test

#include "conversion/ConverterFixture.h"

#include <cstdlib>

namespace twinfold::test {

bool encodeWithFfmpeg(const std::filesystem::path& path, double seconds) {
    // Different content on each side, so a wrong channel shows.
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i \"aevalsrc=0.5*sin(2*PI*440*t)|"
                                "0.25*sin(2*PI*660*t):s=44100:d=" +
                                std::to_string(seconds) + "\" \"" + path.string() + "\" 2>/dev/null";
    return std::system(command.c_str()) == 0 && std::filesystem::exists(path);
}

}  // namespace twinfold::test
