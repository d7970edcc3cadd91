#pragma once

#include "audio_io/FfmpegEncoder.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace twinfold::test {

// Planar channels, each a run of float samples.
using FloatChannels = std::vector<std::vector<float>>;

// Deterministic white noise, every sample a multiple of 1/32768 so that it
// survives a 16-bit lossless encoding unchanged.
std::vector<float> noise(std::size_t frames, std::uint32_t seed, float amplitude = 0.5f);

// Both channels the same noise.
FloatChannels dualMono(std::size_t frames, std::uint32_t seed = 1);
// Noise on one channel, digital silence on the other (0 = left, 1 = right).
FloatChannels oneSideSilent(std::size_t frames, int silentChannel, std::uint32_t seed = 1);
// Independent noise on each channel.
FloatChannels independentNoise(std::size_t frames, int channelCount, std::uint32_t seed = 1);

// Encodes `channels` into dir/name through the product encoder and returns
// the path.
std::filesystem::path writeCompressed(const std::filesystem::path& dir, const std::string& name,
                                      const FloatChannels& channels, EncodedFormat format, int sampleRate = 44100);

// A dual-mono MP3 of `frames` frames of noise at 44.1 kHz, dir/name.
std::filesystem::path writeDualMonoMp3(const std::filesystem::path& dir, const std::string& name,
                                       std::size_t frames = 44100);

// The usual extension of each encoded format (".mp3", ".m4a", ".aac").
std::string extensionFor(EncodedFormat format);

}  // namespace twinfold::test
