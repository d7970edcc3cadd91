#include "audio_io/AudioFileWriter.h"

#include "audio_io/AiffSoundSizes.h"
#include "audio_io/AudioIOError.h"
#include "audio_io/ByteOrder.h"
#include "audio_io/ChunkParser.h"
#include "audio_io/PcmCodec.h"
#include "audio_io/PosixFile.h"
#include "audio_io/SndfileSource.h"
#include "records/AudioFileInfo.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace twinfold {
namespace {

using detail::RawEncoding;
using detail::RawPcmLayout;

constexpr std::size_t kWriteBlockFrames = 16384;
constexpr int kMaxChannels = 1024;                               // libsndfile's own limit
constexpr std::uint64_t kMaxAiffDataBytes = 0xFFFFFFFFu - 4096;  // leaves room for the header

std::string rateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", rate);
    return text;
}

void validate(const std::filesystem::path& path, const WriterSettings& s) {
    const double rate = s.sampleRate;
    if (!(rate >= 1 && rate <= 2147483647.0) || rate != std::floor(rate))
        detail::throwFileError(path, "unsupported sample rate " + rateText(rate));
    if (s.channelCount < 1 || s.channelCount > kMaxChannels)
        detail::throwFileError(path, "unsupported channel count " + std::to_string(s.channelCount));
    const bool depthOK = s.isFloat ? s.bitDepth == 32 || s.bitDepth == 64
                                   : s.bitDepth == 8 || s.bitDepth == 16 || s.bitDepth == 24 || s.bitDepth == 32;
    if (!depthOK)
        detail::throwFileError(path, std::string("unsupported ") + (s.isFloat ? "float" : "integer") + " bit depth " +
                                         std::to_string(s.bitDepth));
}

// WAV is written as RF64 that libsndfile turns back into plain RIFF at close
// when the file stayed under 4 GiB. 8-bit samples are unsigned in WAV and
// signed in AIFF, as each format defines them. Plain AIFF has no float
// samples: libsndfile writes those as AIFF-C ('fl32', 'fl64').
int sndfileFormat(ContainerType container, const WriterSettings& s) {
    const bool wave = container == ContainerType::wave;
    if (s.isFloat)
        return (wave ? SF_FORMAT_RF64 : SF_FORMAT_AIFF) | (s.bitDepth == 64 ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
    switch (s.bitDepth) {
    case 8: return wave ? (SF_FORMAT_RF64 | SF_FORMAT_PCM_U8) : (SF_FORMAT_AIFF | SF_FORMAT_PCM_S8);
    case 16: return (wave ? SF_FORMAT_RF64 : SF_FORMAT_AIFF) | SF_FORMAT_PCM_16;
    case 24: return (wave ? SF_FORMAT_RF64 : SF_FORMAT_AIFF) | SF_FORMAT_PCM_24;
    default: return (wave ? SF_FORMAT_RF64 : SF_FORMAT_AIFF) | SF_FORMAT_PCM_32;
    }
}

RawPcmLayout rawLayout(const WriterSettings& s, ContainerType container) {
    RawPcmLayout layout;
    layout.encoding = s.bitDepth == 16   ? RawEncoding::int16
                      : s.bitDepth == 24 ? RawEncoding::int24
                                         : RawEncoding::int32;
    layout.bigEndian = container == ContainerType::aiff;
    layout.channels = s.channelCount;
    return layout;
}

// How libsndfile stores integer samples of this format (the file's default
// byte order). Float files take none: libsndfile fills their PEAK chunk from
// the samples it is given, and raw bytes would leave it empty.
std::optional<StoredSampleFormat> storedFormat(const WriterSettings& s, ContainerType container) {
    using Kind = StoredSampleFormat::Kind;
    if (s.isFloat) return std::nullopt;
    const bool wave = container == ContainerType::wave;
    return StoredSampleFormat{s.bitDepth == 8 && wave ? Kind::unsignedInteger : Kind::signedInteger, s.bitDepth / 8,
                              !wave && s.bitDepth > 8};
}

// File offset of the speaker mask of an extensible 'fmt ': it follows format
// tag, channels, rate, byte rate, block align, bits (16 bytes), extension
// size and valid bits (2 each). Empty for any other format chunk.
std::optional<std::uint64_t> speakerMaskOffset(const ByteSource& file) {
    const ChunkLayout layout = parseChunkLayout(file);
    const ChunkEntry* fmt = layout.first(fourCC("fmt "));
    if (layout.isAiff() || !fmt || fmt->size < 40) return std::nullopt;
    std::uint8_t head[18];
    file.readAt(fmt->dataOffset, head, sizeof head);
    if (loadLE16(head) != 0xFFFE || loadLE16(head + 16) < 22) return std::nullopt;
    return fmt->dataOffset + 20;
}

sf_count_t writeFrames(SNDFILE* file, const float* samples, sf_count_t frames) {
    return sf_writef_float(file, samples, frames);
}
sf_count_t writeFrames(SNDFILE* file, const double* samples, sf_count_t frames) {
    return sf_writef_double(file, samples, frames);
}

class SndfileWriter final : public AudioFileWriter {
public:
    SndfileWriter(std::filesystem::path path, detail::UniqueFd fd, detail::SndfilePtr file,
                  const WriterSettings& settings, ContainerType container);
    ~SndfileWriter() override;

    void write(const PCMBuffer& buffer) override;
    void writeInt(const IntPCMBuffer& buffer) override;
    void writeDouble(const PlanarBuffer<double>& buffer) override;
    std::optional<StoredSampleFormat> storedSamples() const override { return stored_; }
    void writeStored(const std::uint8_t* bytes, std::size_t frames) override;
    void close() override;
    std::int64_t framesWritten() const override { return frames_; }

private:
    template <typename Sample>
    void checkWritable(const PlanarBuffer<Sample>& buffer) const;
    template <typename Sample>
    void writeFloats(const PlanarBuffer<Sample>& buffer);
    template <typename Sample, typename Stored>
    void writeInterleaved(const PlanarBuffer<Sample>& buffer, std::vector<Stored>& interleaved);
    void writeBlock(const std::int32_t* const* channels, std::size_t frames);
    void checkRoomFor(std::size_t frames) const;
    void startWriteback() const;
    void writeFailed() const;
    void clearSpeakerMask();
    void correctAiffSoundSizes();
    [[noreturn]] void fail(std::string_view message) const { detail::throwFileError(path_, message); }

    std::filesystem::path path_;
    detail::UniqueFd fd_;
    detail::SndfilePtr file_;
    WriterSettings settings_;
    ContainerType container_;
    RawPcmLayout layout_;
    std::optional<StoredSampleFormat> stored_;
    std::int64_t frames_ = 0;
    std::vector<std::int32_t> quantized_;
    std::vector<const std::int32_t*> channels_;
    std::vector<std::uint8_t> bytes_;
    std::vector<int> interleaved_;
    std::vector<float> floats_;
    std::vector<double> doubles_;
};

SndfileWriter::SndfileWriter(std::filesystem::path path, detail::UniqueFd fd, detail::SndfilePtr file,
                             const WriterSettings& settings, ContainerType container)
    : path_(std::move(path)),
      fd_(std::move(fd)),
      file_(std::move(file)),
      settings_(settings),
      container_(container),
      layout_(rawLayout(settings, container)),
      stored_(storedFormat(settings, container)),
      channels_(std::size_t(settings.channelCount)) {}

SndfileWriter::~SndfileWriter() {
    try {
        close();
    } catch (...) {
        // Destructors cannot report; callers that care call close() first.
    }
}

template <typename Sample>
void SndfileWriter::checkWritable(const PlanarBuffer<Sample>& buffer) const {
    if (!file_) fail("the file is already closed");
    if (buffer.channelCount() < settings_.channelCount) fail("the buffer has fewer channels than the file");
}

void SndfileWriter::write(const PCMBuffer& buffer) {
    checkWritable(buffer);
    if (settings_.isFloat) {
        writeFloats(buffer);
        return;
    }
    const std::size_t channels = std::size_t(settings_.channelCount);
    quantized_.resize(channels * kWriteBlockFrames);
    for (std::size_t done = 0; done < buffer.frameLength();) {
        const std::size_t n = std::min<std::size_t>(kWriteBlockFrames, buffer.frameLength() - done);
        for (std::size_t c = 0; c < channels; ++c) {
            std::int32_t* out = quantized_.data() + c * kWriteBlockFrames;
            detail::quantizePcm(buffer.channel(int(c)) + done, n, settings_.bitDepth, out);
            channels_[c] = out;
        }
        writeBlock(channels_.data(), n);
        done += n;
    }
    startWriteback();
}

void SndfileWriter::writeInt(const IntPCMBuffer& buffer) {
    checkWritable(buffer);
    if (settings_.isFloat) fail("integer samples cannot be written to a float file");
    for (std::size_t done = 0; done < buffer.frameLength();) {
        const std::size_t n = std::min<std::size_t>(kWriteBlockFrames, buffer.frameLength() - done);
        for (std::size_t c = 0; c < channels_.size(); ++c) channels_[c] = buffer.channel(int(c)) + done;
        writeBlock(channels_.data(), n);
        done += n;
    }
    startWriteback();
}

void SndfileWriter::writeDouble(const PlanarBuffer<double>& buffer) {
    checkWritable(buffer);
    // Narrowing to a 32-bit or integer file would round: only a 64-bit float file takes them as they are.
    if (!settings_.isFloat || settings_.bitDepth != 64) fail("doubles can only be written to a 64-bit float file");
    writeFloats(buffer);
}

// Float samples go to libsndfile, which stores them as they are in a float
// file of their own width (clipping is off); floats going to a 64-bit file
// are widened first, which is exact.
template <typename Sample>
void SndfileWriter::writeFloats(const PlanarBuffer<Sample>& buffer) {
    if (settings_.bitDepth == 64) {
        writeInterleaved(buffer, doubles_);
    } else {
        writeInterleaved(buffer, floats_);
    }
    startWriteback();
}

template <typename Sample, typename Stored>
void SndfileWriter::writeInterleaved(const PlanarBuffer<Sample>& buffer, std::vector<Stored>& interleaved) {
    const std::size_t count = std::size_t(settings_.channelCount);
    for (std::size_t done = 0; done < buffer.frameLength();) {
        const std::size_t n = std::min<std::size_t>(kWriteBlockFrames, buffer.frameLength() - done);
        checkRoomFor(n);
        interleaved.resize(n * count);
        for (std::size_t c = 0; c < count; ++c) {
            const Sample* in = buffer.channel(int(c)) + done;
            for (std::size_t i = 0; i < n; ++i) interleaved[i * count + c] = Stored(in[i]);
        }
        if (writeFrames(file_.get(), interleaved.data(), sf_count_t(n)) != sf_count_t(n)) writeFailed();
        frames_ += std::int64_t(n);
        done += n;
    }
}

// AIFF sizes are 32-bit and it has no RF64; refuse rather than write a file
// whose header wraps around.
void SndfileWriter::checkRoomFor(std::size_t frames) const {
    const std::uint64_t bytesAfter = std::uint64_t(frames_ + std::int64_t(frames)) *
                                     std::uint64_t(settings_.channelCount) * std::uint64_t(settings_.bitDepth / 8);
    if (container_ == ContainerType::aiff && bytesAfter > kMaxAiffDataBytes)
        fail("the audio does not fit in an AIFF file (4 GiB at most); use WAV");
}

// Left-justified samples out: 16/24/32-bit are packed here and written raw,
// which is several times faster than libsndfile's conversion; 8-bit (unsigned
// in WAV) is left to libsndfile, whose int path only shifts.
void SndfileWriter::writeBlock(const std::int32_t* const* channels, std::size_t frames) {
    const std::size_t count = std::size_t(settings_.channelCount);
    checkRoomFor(frames);
    if (settings_.bitDepth == 8) {
        interleaved_.resize(frames * count);
        for (std::size_t c = 0; c < count; ++c)
            for (std::size_t i = 0; i < frames; ++i) interleaved_[i * count + c] = channels[c][i];
        if (sf_writef_int(file_.get(), interleaved_.data(), sf_count_t(frames)) != sf_count_t(frames)) writeFailed();
    } else {
        const std::size_t size = frames * layout_.bytesPerFrame();
        bytes_.resize(std::max(bytes_.size(), size));
        detail::encodePcm(layout_, channels, frames, bytes_.data());
        if (sf_write_raw(file_.get(), bytes_.data(), sf_count_t(size)) != sf_count_t(size)) writeFailed();
    }
    frames_ += std::int64_t(frames);
}

void SndfileWriter::writeStored(const std::uint8_t* bytes, std::size_t frames) {
    if (!stored_) fail("a float file takes no stored samples");
    if (!file_) fail("the file is already closed");
    checkRoomFor(frames);
    const auto size = sf_count_t(frames * std::size_t(settings_.channelCount) * std::size_t(stored_->bytes));
    if (sf_write_raw(file_.get(), bytes, size) != size) writeFailed();
    frames_ += std::int64_t(frames);
    startWriteback();
}

// Outputs are synced before they are named. Starting the disk's work on each
// block as it is written overlaps it with the rest of the conversion, so the
// sync waits for the last blocks only. A hint: the sync reports failures.
void SndfileWriter::startWriteback() const { ::sync_file_range(fd_.get(), 0, 0, SYNC_FILE_RANGE_WRITE); }

void SndfileWriter::writeFailed() const {
    if (sf_error(file_.get()) != SF_ERR_NO_ERROR) fail(sf_strerror(file_.get()));
    fail("the audio data could not be written completely");
}

// Finishes the header (libsndfile), then corrects what libsndfile gets
// wrong in it: odd-length AIFF sizes, invented speaker positions.
// Forcing the data to the device is left to the caller.
void SndfileWriter::close() {
    if (!file_) return;
    const int error = sf_close(file_.release());
    if (error != SF_ERR_NO_ERROR) {
        fd_.close();
        fail(sf_error_number(error));
    }
    if (container_ == ContainerType::wave && settings_.clearSpeakerMask) clearSpeakerMask();
    if (container_ == ContainerType::aiff) correctAiffSoundSizes();
    if (fd_.close() != 0) detail::throwErrno(path_, errno);
}

// libsndfile 1.2 appends the pad byte that follows odd-length AIFF sound
// data and then measures the data up to the end of that pad byte: the SSND
// size counts the pad, and for one-byte frames (8-bit mono) COMM declares one
// frame more than was written, so every reader (libsndfile, sox, FFmpeg)
// delivers an extra zero sample. With wider frames the frame count survives
// but FFmpeg rejects the trailing partial frame. WAV and RF64 are padded
// correctly. Puts the true sizes back; the FORM size already counts the pad.
void SndfileWriter::correctAiffSoundSizes() {
    const std::uint64_t dataBytes =
        std::uint64_t(frames_) * std::uint64_t(settings_.channelCount) * std::uint64_t(settings_.bitDepth / 8);
    if (dataBytes % 2 == 0) return;
    const auto sizes = detail::readAiffSoundSizes(fd_.get());
    if (!sizes) fail("the AIFF header could not be read back to correct its sizes");
    // Below 4 GiB: writeBlock refuses more.
    const auto ssndSize = std::uint32_t(8 + sizes->ssndOffset + dataBytes);
    if (sizes->commFrames == std::uint64_t(frames_) && sizes->ssndSize == ssndSize) return;
    if (!detail::writeAiffSoundSizes(fd_.get(), *sizes, std::uint32_t(frames_), ssndSize))
        detail::throwErrno(path_, errno);
}

// libsndfile writes WAVE_FORMAT_EXTENSIBLE with a speaker mask it picks from
// the channel count (quad, 5.1, 7.1). Channels kept from a larger file are
// discrete, in order, without positions, which the mask 0 says.
void SndfileWriter::clearSpeakerMask() {
    std::optional<std::uint64_t> at;
    try {
        at = speakerMaskOffset(FileByteSource::ofRegularFile(fd_.get()));
    } catch (const AudioIOError& error) {
        fail(error.what());
    }
    const std::uint8_t zero[4] = {};
    if (at && ::pwrite(fd_.get(), zero, 4, off_t(*at)) != 4) detail::throwErrno(path_, errno);
}

}  // namespace

void AudioFileWriter::writeStored(const std::uint8_t*, std::size_t) {
    throw AudioIOError("this file takes no stored samples");
}

ContainerType containerForExtension(const std::filesystem::path& path) {
    const std::string ext = lowerExtension(path);
    if (ext == "wav") return ContainerType::wave;
    if (ext == "aif" || ext == "aiff") return ContainerType::aiff;
    detail::throwFileError(path, "unsupported output file type; use .wav, .aif or .aiff");
}

std::unique_ptr<AudioFileWriter> createAudioFile(const std::filesystem::path& path, const WriterSettings& settings) {
    const ContainerType container = settings.container ? *settings.container : containerForExtension(path);
    validate(path, settings);
    SF_INFO info{};
    info.samplerate = int(settings.sampleRate);
    info.channels = settings.channelCount;
    info.format = sndfileFormat(container, settings);

    // Exclusive creation: a file that appeared after the caller checked the
    // name is never replaced. Read access lets close() revisit the header.
    detail::UniqueFd fd(::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666));
    if (!fd) detail::throwErrno(path, errno);
    detail::SndfilePtr file;
    std::string error;
    {
        // libsndfile writes through its own copy of the descriptor and
        // closes it, also when the open fails; `fd` stays ours.
        const int own = detail::duplicateForLibrary(fd);
        const int dupError = errno;
        std::lock_guard lock(detail::sndfileOpenMutex());
        if (own >= 0) file.reset(sf_open_fd(own, SFM_WRITE, &info, SF_TRUE));
        if (!file) error = own < 0 ? std::strerror(dupError) : sf_strerror(nullptr);
    }
    if (file && container == ContainerType::wave &&
        sf_command(file.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE) != SF_TRUE) {
        error = "libsndfile cannot write RF64 with automatic downgrade";
        file.reset();
    }
    // Off by default; said here because float samples beyond full scale must
    // reach the file unchanged.
    if (file && settings.isFloat) sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_FALSE);
    if (!file) {
        fd.close();
        ::unlink(path.c_str());  // the empty file is ours: we just created it
        detail::throwFileError(path, error);
    }
    return std::make_unique<SndfileWriter>(path, std::move(fd), std::move(file), settings, container);
}

}  // namespace twinfold
