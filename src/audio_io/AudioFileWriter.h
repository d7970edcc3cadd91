#pragma once

#include "audio_io/PCMBuffer.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace twinfold {

// Settings of an output file; mirrors the writer keys of the original design.
struct WriterSettings {
    double sampleRate = 0;
    int channelCount = 0;
    int bitDepth = 24;               // 8, 16, 24 or 32, integer PCM
    bool isBigEndian = false;        // true for AIFF
    bool isNonInterleaved = false;   // informational: files are always stored interleaved
    std::uint32_t channelLayoutTag = 0;  // 0x930000 + N: N discrete channels

    bool operator==(const WriterSettings&) const = default;
};

enum class ContainerType { wave, aiff };

// Writes integer PCM WAV or AIFF; the container follows the extension
// (.wav → WAVE, possibly RF64 when it passes 4 GiB; .aif/.aiff → AIFF).
// The file is created exclusively: an existing file is never replaced.
// Float samples are converted with clipping, never wrap-around.
class AudioFileWriter {
public:
    virtual ~AudioFileWriter() = default;

    virtual void write(const PCMBuffer& buffer) = 0;
    // Integer samples left-justified in 32 bits, written without any change
    // for the file's depth (the low bits beyond the depth are dropped).
    virtual void writeInt(const IntPCMBuffer& buffer) = 0;
    // Finishes the file; reports a failure to flush or update the header.
    // The destructor closes too but cannot report.
    virtual void close() = 0;

    virtual std::int64_t framesWritten() const = 0;
};

// Throws AudioIOError when the file exists, the extension names no
// supported container, or the file cannot be created.
std::unique_ptr<AudioFileWriter> createAudioFile(const std::filesystem::path& path,
                                                 const WriterSettings& settings);
ContainerType containerForExtension(const std::filesystem::path& path);  // throws AudioIOError

}  // namespace twinfold
