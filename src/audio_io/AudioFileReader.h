#pragma once

#include "audio_io/AudioFormat.h"
#include "audio_io/PCMBuffer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace twinfold {

// An open audio file, read sequentially or from any frame position.
// Every failure throws AudioIOError with the library's own message.
class AudioFileReader {
public:
    virtual ~AudioFileReader() = default;

    // How the file stores its samples.
    virtual const AudioFormatInfo& fileFormat() const = 0;
    // Same rate and channels, deinterleaved float32, full scale ±1.0.
    AudioFormatInfo processingFormat() const;

    // Exact length in frames: reading from 0 to the end delivers exactly this many.
    virtual std::int64_t length() const = 0;
    virtual std::int64_t position() const = 0;
    // Sample-accurate; a position past the end reads nothing.
    virtual void seek(std::int64_t frame) = 0;

    // Reads up to `frames` frames (at most the buffer's capacity) from the
    // current position into `buffer`, advances the position and sets the
    // buffer's frame length to what was delivered (0 at the end).
    // The buffer must have at least channelCount() channels.
    virtual void read(PCMBuffer& buffer, std::uint32_t frames) = 0;

    // The same as integers left-justified in 32 bits. For integer PCM the
    // samples are the stored ones, unchanged; other formats are converted
    // from float with clipping.
    virtual void readInt(IntPCMBuffer& buffer, std::uint32_t frames);

    // The stored samples of a file whose fileFormat() says 16-bit integer
    // PCM, unchanged, at half the size of floats. Only for such files.
    virtual void readInt16(PlanarBuffer<std::int16_t>& buffer, std::uint32_t frames);

    // The same as doubles, full scale ±1.0: a 64-bit float file's samples
    // exactly as stored, anything else as read() delivers it (widening is exact).
    virtual void readDouble(PlanarBuffer<double>& buffer, std::uint32_t frames);

    // The layout of the stored samples when the file's audio is plain
    // interleaved frames that readStored hands over; none otherwise.
    virtual std::optional<StoredSampleFormat> storedSamples() const { return std::nullopt; }
    // Reads up to `frames` frames from the current position exactly as
    // stored, interleaved, into `bytes` (room for frames × channelCount() ×
    // storedSamples()->bytes); advances the position and returns the frames
    // delivered (0 at the end). Throws AudioIOError when storedSamples() is none.
    virtual std::uint32_t readStored(std::uint8_t* bytes, std::uint32_t frames);

    int channelCount() const { return fileFormat().channelCount; }
    double sampleRate() const { return fileFormat().sampleRate; }
};

// Opens a file for reading, choosing the decoder by probing its content
// (libsndfile for PCM containers, FFmpeg for compressed formats).
std::unique_ptr<AudioFileReader> openAudioFile(const std::filesystem::path& path);

}  // namespace twinfold
