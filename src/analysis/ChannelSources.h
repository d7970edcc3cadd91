#pragma once

#include "audio_io/AudioFileReader.h"
#include "audio_io/PCMBuffer.h"

#include <cstdint>
#include <memory>

namespace twinfold {

// The left and right samples of a stereo file, or of a split pair read as
// one stereo file (left = channel 0 of the left file, right = channel 0 of
// the right file), in runs of at most `capacity` frames.
class StereoSource {
public:
    StereoSource(std::unique_ptr<AudioFileReader> file, std::uint32_t capacity);
    StereoSource(std::unique_ptr<AudioFileReader> left, std::unique_ptr<AudioFileReader> right, std::uint32_t capacity);

    // The (left) file's length in frames.
    std::int64_t length() const { return left_->length(); }
    std::int64_t position() const { return left_->position(); }
    void seek(std::int64_t frame);

    // Reads up to n frames; returns how many arrived (the left file's count).
    std::uint32_t read(std::uint32_t n);
    const float* left() const { return leftBuffer_.channel(0); }
    const float* right() const;

    // Whether every file stores 16-bit integer PCM. Such files can also be
    // read as stored, at half the size of floats, into buffers of their own.
    bool storesInt16() const { return storesInt16_; }
    std::uint32_t readInt16(std::uint32_t n);
    const std::int16_t* left16() const { return leftInts_.channel(0); }
    const std::int16_t* right16() const;

private:
    using Int16Buffer = PlanarBuffer<std::int16_t>;

    std::unique_ptr<AudioFileReader> left_;
    std::unique_ptr<AudioFileReader> right_;  // null for a single file
    PCMBuffer leftBuffer_;
    PCMBuffer rightBuffer_;
    bool storesInt16_ = false;
    Int16Buffer leftInts_;
    Int16Buffer rightInts_;
};

// Every channel of one file, in runs of at most `capacity` frames.
class MultichannelSource {
public:
    MultichannelSource(std::unique_ptr<AudioFileReader> file, std::uint32_t capacity);

    int channelCount() const { return buffer_.channelCount(); }
    std::int64_t length() const { return file_->length(); }
    std::int64_t position() const { return file_->position(); }
    void seek(std::int64_t frame) { file_->seek(frame); }

    std::uint32_t read(std::uint32_t n);
    // One pointer per channel into the last run read.
    const float* const* channels() const { return channelPointers_.get(); }

private:
    std::unique_ptr<AudioFileReader> file_;
    PCMBuffer buffer_;
    std::unique_ptr<const float*[]> channelPointers_;
};

}  // namespace twinfold
