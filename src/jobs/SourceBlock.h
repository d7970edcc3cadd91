#pragma once

// One block of a source's samples during the proof: the channels of every
// file of the source side by side, as stored integers where the file has
// them and as floats on request. Plain C++; no Qt.

#include "audio_io/AudioFileReader.h"
#include "audio_io/PCMBuffer.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace twinfold {

class SourceBlock {
public:
    // Opens each file; `open` throws VerificationError for a file it cannot
    // read. A block holds `capacity(channels)` frames, channels being the
    // files' channels together.
    using Open = std::unique_ptr<AudioFileReader> (*)(const std::filesystem::path&);
    SourceBlock(const std::vector<std::filesystem::path>& files,
                const std::function<std::uint32_t(int channels)>& capacity, Open open);

    // Reads the next `frames` frames of every file (throws VerificationError
    // naming the file when one ends early or fails).
    void read(std::uint32_t frames);

    int channelCount() const { return int(channels_.size()); }
    std::uint32_t frames() const { return frames_; }
    std::uint32_t capacity() const { return capacity_; }
    // The readers, for their formats; file `f` of the list given.
    const AudioFileReader& reader(std::size_t f) const { return *files_[f].reader; }
    std::size_t fileCount() const { return files_.size(); }
    // The file a channel lives in.
    std::size_t fileOf(int channel) const { return channels_[std::size_t(channel)].file; }

    bool isInt(int channel) const;
    const std::int32_t* ints(int channel) const;
    // The samples as the analysis decodes them: stored integers scaled
    // exactly to ±1.0, or the float samples.
    const float* floats(int channel) const;

private:
    struct File {
        std::filesystem::path path;
        std::unique_ptr<AudioFileReader> reader;
        bool isInt = false;
        IntPCMBuffer ints;
        PCMBuffer floats;
    };
    struct Channel {
        std::size_t file = 0;
        int local = 0;
        mutable std::vector<float> converted;
        mutable bool isConverted = false;
    };

    std::vector<File> files_;
    std::vector<Channel> channels_;
    std::uint32_t frames_ = 0;
    std::uint32_t capacity_ = 0;
};

}  // namespace twinfold
