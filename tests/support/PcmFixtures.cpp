// The libsndfile side of the fixtures: PCM files written and read, and the
// chunks libsndfile finds in a file.
#include "support/PcmFixtures.h"
#include "support/SndfileChunks.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>

namespace twinfold::test {
namespace {

double gridScale(PcmEncoding encoding) { return std::ldexp(1.0, bitsOf(encoding) - 1); }

int sndfileFormat(const PcmFormat& f) {
    static const int encodings[] = {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24,
                                    SF_FORMAT_PCM_32, SF_FORMAT_FLOAT,  SF_FORMAT_DOUBLE};
    const bool wave = f.container == PcmContainer::wav || f.container == PcmContainer::rf64;
    const int sub = f.encoding == PcmEncoding::int8 && wave ? SF_FORMAT_PCM_U8 : encodings[int(f.encoding)];
    static const int containers[] = {SF_FORMAT_WAV, SF_FORMAT_AIFF, SF_FORMAT_AIFF, SF_FORMAT_RF64};
    // libsndfile writes AIFF-C for little-endian integers ('sowt') and
    // for floats; big-endian integers always come out as plain AIFF.
    const bool sowt = f.container == PcmContainer::aifc && !isFloat(f.encoding);
    return containers[int(f.container)] | sub | (sowt ? SF_ENDIAN_LITTLE : 0);
}

SNDFILE* openForReading(const std::filesystem::path& path, SF_INFO& info) {
    info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error(path.string() + ": " + sf_strerror(nullptr));
    return file;
}

SNDFILE* openForWriting(const std::filesystem::path& path, int format, int channels, int rate) {
    SF_INFO info{.samplerate = rate, .channels = channels, .format = format};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error(path.string() + ": " + sf_strerror(nullptr));
    return file;
}

template <typename Sample, typename Read>
std::vector<std::vector<Sample>> readPlanar(const std::filesystem::path& path, Read read) {
    SF_INFO info;
    SNDFILE* file = openForReading(path, info);
    std::vector<Sample> interleaved(std::size_t(info.frames) * info.channels);
    const sf_count_t got = read(file, interleaved.data(), info.frames);
    sf_close(file);
    if (got != info.frames) throw std::runtime_error(path.string() + ": short read");
    std::vector<std::vector<Sample>> planar(info.channels, std::vector<Sample>(std::size_t(info.frames)));
    for (std::size_t i = 0; i < std::size_t(info.frames); ++i)
        for (int c = 0; c < info.channels; ++c) planar[c][i] = interleaved[i * info.channels + c];
    return planar;
}

}  // namespace

int bitsOf(PcmEncoding encoding) {
    static const int bits[] = {8, 16, 24, 32, 32, 64};
    return bits[int(encoding)];
}

bool isFloat(PcmEncoding encoding) { return encoding == PcmEncoding::float32 || encoding == PcmEncoding::float64; }

// ---- writing ---------------------------------------------------------------

PcmFileWriter::PcmFileWriter(const std::filesystem::path& path, const PcmFormat& format, int channelCount)
    : format_(format), channels_(channelCount) {
    std::filesystem::remove(path);
    file_ = openForWriting(path, sndfileFormat(format), channelCount, format.sampleRate);
}

PcmFileWriter::~PcmFileWriter() {
    if (file_) sf_close(file_);
}

void PcmFileWriter::append(const Channels& block) {
    if (int(block.size()) != channels_) throw std::invalid_argument("wrong number of channels");
    const std::size_t frames = block.empty() ? 0 : block[0].size();
    for (const Signal& s : block)
        if (s.size() != frames) throw std::invalid_argument("channels of different lengths");
    const auto interleaved = [&](auto convert) {
        std::vector<decltype(convert(0.0))> samples(frames * channels_);
        for (std::size_t i = 0; i < frames; ++i)
            for (int c = 0; c < channels_; ++c) samples[i * channels_ + c] = convert(block[c][i]);
        return samples;
    };
    // Integers go left-justified: libsndfile only shifts them, so the file
    // holds exactly the grid values.
    const PcmEncoding encoding = format_.encoding;
    const sf_count_t written =
        isFloat(encoding)
            ? sf_writef_double(file_, interleaved([&](double v) { return quantize(v, encoding); }).data(),
                               sf_count_t(frames))
            : sf_writef_int(file_, interleaved([&](double v) { return int(storedInt(v, encoding)); }).data(),
                            sf_count_t(frames));
    if (written != sf_count_t(frames)) throw std::runtime_error(std::string("write failed: ") + sf_strerror(file_));
}

void PcmFileWriter::close() {
    if (!file_) return;
    const int error = sf_close(file_);
    file_ = nullptr;
    if (error != 0) throw std::runtime_error(sf_error_number(error));
}

void writePcm(const std::filesystem::path& path, const PcmFormat& format, const Channels& channels) {
    PcmFileWriter writer(path, format, int(channels.size()));
    writer.append(channels);
    writer.close();
}

SplitPair writeSplitPair(const std::filesystem::path& dir, const std::string& stem, const std::string& extension,
                         const PcmFormat& format, const Signal& left, const Signal& right) {
    SplitPair pair{dir / (stem + ".L" + extension), dir / (stem + ".R" + extension)};
    writePcm(pair.left, format, {left});
    writePcm(pair.right, format, {right});
    return pair;
}

// ---- signals -----------------------------------------------------------------

double quantize(double value, PcmEncoding encoding) {
    if (encoding == PcmEncoding::float64) return value;
    if (encoding == PcmEncoding::float32) return double(float(value));
    const double scale = gridScale(encoding);
    const double k = std::clamp(std::nearbyint(value * scale), -scale, scale - 1);
    return k / scale;
}

Signal noise(std::size_t frames, PcmEncoding encoding, std::uint32_t seed, double amplitude) {
    std::mt19937_64 rng(seed);
    Signal s(frames);
    for (double& v : s) {
        const double unit = double(rng() >> 11) * 0x1p-53;  // [0, 1)
        v = quantize((2 * unit - 1) * amplitude, encoding);
    }
    return s;
}

Signal dc(std::size_t frames, double value, PcmEncoding encoding) { return Signal(frames, quantize(value, encoding)); }

Signal silence(std::size_t frames) { return Signal(frames, 0.0); }

Signal scaled(const Signal& signal, double gain, PcmEncoding encoding) {
    Signal s(signal.size());
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = quantize(signal[i] * gain, encoding);
    return s;
}

Channels stereo(StereoKind kind, std::size_t frames, PcmEncoding encoding, std::uint32_t seed, double panGain) {
    const Signal left = noise(frames, encoding, seed);
    switch (kind) {
    case StereoKind::dualMono: return {left, left};
    case StereoKind::panned: return {left, scaled(left, panGain, encoding)};
    case StereoKind::phaseInverted: return {left, scaled(left, -1.0, encoding)};
    case StereoKind::leftSilent: return {silence(frames), left};
    case StereoKind::rightSilent: return {left, silence(frames)};
    case StereoKind::bothSilent: return {silence(frames), silence(frames)};
    case StereoKind::trueStereo: return {left, noise(frames, encoding, seed + 7919)};
    }
    return {};
}

Channels multichannel(const ChannelPlan& plan, std::size_t frames, PcmEncoding encoding, std::uint32_t seed) {
    Channels channels;
    for (int c = 0; c < plan.channelCount; ++c) channels.push_back(noise(frames, encoding, seed + 7919 * c));
    for (auto [source, copy] : plan.duplicates) channels.at(copy) = channels.at(source);
    for (int c : plan.silent) channels.at(c) = silence(frames);
    return channels;
}

Channels panOf440(PcmEncoding encoding, bool mix) {
    const double pi = std::acos(-1.0);
    Signal l(96000), r(96000);
    for (std::size_t i = 0; i < l.size(); ++i) {
        const double t = double(i) / 48000;
        l[i] = quantize(0.5 * std::sin(2 * pi * 440 * t), encoding);
        r[i] = mix ? quantize(0.35 * std::sin(2 * pi * 440 * t) + 0.045 * std::sin(2 * pi * 1500 * t), encoding)
                   : quantize(0.7 * l[i], encoding);
    }
    return {l, r};
}

// ---- reading -----------------------------------------------------------------

PcmFileInfo pcmFileInfo(const std::filesystem::path& path) {
    SF_INFO info;
    sf_close(openForReading(path, info));
    return {info.format, info.samplerate, info.channels, info.frames};
}

std::vector<std::vector<std::int32_t>> readStoredInts(const std::filesystem::path& path) {
    return readPlanar<std::int32_t>(path, sf_readf_int);
}

std::vector<std::vector<float>> readFloats(const std::filesystem::path& path) {
    return readPlanar<float>(path, sf_readf_float);
}

std::vector<std::vector<double>> readDoubles(const std::filesystem::path& path) {
    return readPlanar<double>(path, sf_readf_double);
}

std::int32_t storedInt(double value, PcmEncoding encoding) {
    if (isFloat(encoding)) throw std::invalid_argument("storedInt needs an integer encoding");
    const double scale = gridScale(encoding);
    const double k = value * scale;
    if (k != std::floor(k) || k < -scale || k > scale - 1)
        throw std::invalid_argument("sample value " + std::to_string(value) + " is not on the " +
                                    std::to_string(bitsOf(encoding)) + "-bit grid");
    return std::int32_t(std::int64_t(k) * (std::int64_t(1) << (32 - bitsOf(encoding))));
}

std::vector<std::int32_t> storedInts(const Signal& signal, PcmEncoding encoding) {
    std::vector<std::int32_t> ints(signal.size());
    for (std::size_t i = 0; i < ints.size(); ++i) ints[i] = storedInt(signal[i], encoding);
    return ints;
}

void writeSndfile(const std::filesystem::path& path, int format, int channels, int rate,
                  const std::vector<int>& interleaved) {
    SNDFILE* file = openForWriting(path, format, channels, rate);
    const auto frames = sf_count_t(interleaved.size() / std::size_t(channels));
    const bool written = sf_writef_int(file, interleaved.data(), frames) == frames;
    if (sf_close(file) != 0 || !written) throw std::runtime_error(path.string() + ": write failed");
}

void writeCodedWav(const std::filesystem::path& path, int sndfileEncoding) {
    std::vector<int> samples(2 * 4000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = (int(i * 7919 % 2001) - 1000) * 65536;
    writeSndfile(path, SF_FORMAT_WAV | sndfileEncoding, 2, 48000, samples);
}

std::vector<std::vector<std::uint8_t>> sndfileChunks(const std::filesystem::path& path, const std::string& id) {
    SF_INFO info;
    SNDFILE* file = openForReading(path, info);
    SF_CHUNK_INFO wanted{};
    std::memcpy(wanted.id, id.data(), 4);
    wanted.id_size = 4;
    std::vector<std::vector<std::uint8_t>> found;
    for (SF_CHUNK_ITERATOR* it = sf_get_chunk_iterator(file, &wanted); it; it = sf_next_chunk_iterator(it)) {
        SF_CHUNK_INFO chunk{};
        if (sf_get_chunk_size(it, &chunk) != SF_ERR_NO_ERROR) break;
        std::vector<std::uint8_t> data(chunk.datalen);
        chunk.data = data.data();
        if (sf_get_chunk_data(it, &chunk) != SF_ERR_NO_ERROR) break;
        found.push_back(data);
    }
    sf_close(file);
    return found;
}

}  // namespace twinfold::test
