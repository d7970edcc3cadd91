#include "support/CompressedFixtures.h"

#include <random>

namespace twinfold::test {

std::vector<float> noise(std::size_t frames, std::uint32_t seed, float amplitude) {
    std::mt19937 generator(seed);
    const int limit = int(amplitude * 32767.0f);
    std::uniform_int_distribution<int> level(-limit, limit);
    std::vector<float> samples(frames);
    for (float& sample : samples) sample = float(level(generator)) / 32768.0f;
    return samples;
}

FloatChannels dualMono(std::size_t frames, std::uint32_t seed) {
    const auto samples = noise(frames, seed);
    return {samples, samples};
}

FloatChannels oneSideSilent(std::size_t frames, int silentChannel, std::uint32_t seed) {
    FloatChannels channels{noise(frames, seed), noise(frames, seed)};
    channels[std::size_t(silentChannel)].assign(frames, 0.0f);
    return channels;
}

FloatChannels independentNoise(std::size_t frames, int channelCount, std::uint32_t seed) {
    FloatChannels channels;
    for (int c = 0; c < channelCount; ++c) channels.push_back(noise(frames, seed + std::uint32_t(c)));
    return channels;
}

std::filesystem::path writeCompressed(const std::filesystem::path& dir, const std::string& name,
                                      const FloatChannels& channels, EncodedFormat format, int sampleRate) {
    const auto path = dir / name;
    encodeAudioFile(path, channels, sampleRate, format);
    return path;
}

std::string extensionFor(EncodedFormat format) {
    return format == EncodedFormat::mp3 ? ".mp3" : format == EncodedFormat::adtsAac ? ".aac" : ".m4a";
}

std::filesystem::path writeDualMonoMp3(const std::filesystem::path& dir, const std::string& name, std::size_t frames) {
    return writeCompressed(dir, name, dualMono(frames, 7), EncodedFormat::mp3);
}

}  // namespace twinfold::test
