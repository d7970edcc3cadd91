#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace twinfold::bench {

// What the channels of a generated file carry.
enum class Content { trueStereo, dualMono, panned, phaseInverted, oneSideSilent, sixChannels };

struct BenchFile {
    std::string name;
    std::filesystem::path path;
    Content content;
    int bits;
};

// Writes an integer PCM WAV of `seconds` of white noise shaped by `content`
// through libsndfile, a block at a time (never the whole file in memory).
BenchFile writeBenchFile(const std::filesystem::path& dir, const std::string& name, Content content, int bits,
                         int sampleRate, double seconds, std::uint32_t seed);

// A fresh folder under the temporary directory, removed with its files.
class BenchDir {
public:
    BenchDir();
    ~BenchDir();
    BenchDir(const BenchDir&) = delete;
    BenchDir& operator=(const BenchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace twinfold::bench
