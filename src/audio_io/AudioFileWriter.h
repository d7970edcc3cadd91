#pragma once

#include "audio_io/AudioFormat.h"
#include "audio_io/PCMBuffer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace twinfold {

// Settings of an output file; mirrors the writer keys of the original design.
struct WriterSettings {
    double sampleRate = 0;
    int channelCount = 0;
    int bitDepth = 24;         // integer PCM: 8, 16, 24 or 32; float: 32 or 64
    bool isBigEndian = false;  // true for AIFF
    // WAV: the channels are discrete, without speaker positions, so the
    // speaker mask says none (0) instead of the one libsndfile picks from
    // the channel count (quad, 5.1, 7.1). AIFF has no mask.
    bool clearSpeakerMask = false;
    // IEEE float samples (32- or 64-bit), stored as they are: never scaled
    // or clipped, so samples beyond full scale survive.
    bool isFloat = false;
    // The container to write; absent: the one the file's extension names.
    std::optional<ContainerType> container;

    bool operator==(const WriterSettings&) const = default;
};

// Writes PCM WAV or AIFF: the container given in the settings, else the one
// the extension names (.wav → WAVE, possibly RF64 when it passes 4 GiB;
// .aif/.aiff → AIFF; float samples in AIFF make it AIFF-C).
// The file is created exclusively: an existing file is never replaced.
// Float samples go to integer files rounded with clipping, never wrap-around.
class AudioFileWriter {
public:
    virtual ~AudioFileWriter() = default;

    // Integer files: rounded and clipped to the depth. Float files: written
    // as they are (widened, exactly, for a 64-bit file).
    virtual void write(const PCMBuffer& buffer) = 0;
    // Integer samples left-justified in 32 bits, written without any change
    // for the file's depth (the low bits beyond the depth are dropped).
    // Integer files only.
    virtual void writeInt(const IntPCMBuffer& buffer) = 0;
    // Doubles written as they are; 64-bit float files only.
    virtual void writeDouble(const PlanarBuffer<double>& buffer) = 0;
    // The layout the file stores its samples in, for writeStored; none when
    // the writer takes no stored bytes.
    virtual std::optional<StoredSampleFormat> storedSamples() const { return std::nullopt; }
    // Interleaved frames already in the file's layout (storedSamples()),
    // written as they are. Throws AudioIOError when storedSamples() is none.
    virtual void writeStored(const std::uint8_t* bytes, std::size_t frames);
    // Finishes the file; reports a failure to flush or update the header.
    // The destructor closes too but cannot report.
    virtual void close() = 0;

    virtual std::int64_t framesWritten() const = 0;
};

// Throws AudioIOError when the file exists, no container is given and the
// extension names none, the settings are not writable, or the file cannot be
// created.
std::unique_ptr<AudioFileWriter> createAudioFile(const std::filesystem::path& path, const WriterSettings& settings);
ContainerType containerForExtension(const std::filesystem::path& path);  // throws AudioIOError

}  // namespace twinfold
