#include "audio_io/SndfileReader.h"

#include "audio_io/AiffSoundSizes.h"
#include "audio_io/HeaderPlausibility.h"
#include "audio_io/PcmCodec.h"
#include "audio_io/SndfileSource.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace twinfold {
namespace {

using detail::RawEncoding;
using detail::RawPcmLayout;

static_assert(std::endian::native == std::endian::little, "raw PCM decoding assumes a little-endian host");

// Raw blocks small enough to be converted while they are still in the cache.
constexpr std::size_t kRawBlockBytes = std::size_t(1) << 18;
constexpr std::uint32_t kLibraryBlockFrames = 16384;

// Containers whose data chunk holds plain interleaved PCM, so bytes read
// with sf_read_raw can be decoded here; others (PAF's packed 24-bit blocks,
// for one) go through libsndfile's own conversion.
bool storesPlainPcm(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_W64:
    case SF_FORMAT_CAF: return true;
    default: return false;
    }
}

std::optional<RawPcmLayout> rawLayoutFor(SNDFILE* file, const SF_INFO& info) {
    if (!storesPlainPcm(info.format)) return std::nullopt;
    RawPcmLayout layout;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16: layout.encoding = RawEncoding::int16; break;
    case SF_FORMAT_PCM_24: layout.encoding = RawEncoding::int24; break;
    case SF_FORMAT_PCM_32: layout.encoding = RawEncoding::int32; break;
    case SF_FORMAT_FLOAT: layout.encoding = RawEncoding::float32; break;
    default: return std::nullopt;
    }
    layout.bigEndian = sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
    layout.channels = info.channels;
    return layout;
}

// The stored layout of a plain PCM file's samples, which readStored hands
// over as they are.
std::optional<StoredSampleFormat> storedFormatOf(SNDFILE* file, const SF_INFO& info) {
    if (!storesPlainPcm(info.format)) return std::nullopt;
    using Kind = StoredSampleFormat::Kind;
    StoredSampleFormat stored;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8: stored = {Kind::signedInteger, 1}; break;
    case SF_FORMAT_PCM_U8: stored = {Kind::unsignedInteger, 1}; break;
    case SF_FORMAT_PCM_16: stored = {Kind::signedInteger, 2}; break;
    case SF_FORMAT_PCM_24: stored = {Kind::signedInteger, 3}; break;
    case SF_FORMAT_PCM_32: stored = {Kind::signedInteger, 4}; break;
    case SF_FORMAT_FLOAT: stored = {Kind::ieeeFloat, 4}; break;
    case SF_FORMAT_DOUBLE: stored = {Kind::ieeeFloat, 8}; break;
    default: return std::nullopt;
    }
    stored.bigEndian = stored.bytes > 1 && sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
    return stored;
}

// Some writers count the pad byte after odd-length AIFF sound data in the
// SSND size while COMM holds the true count; libsndfile (like sox and FFmpeg)
// measures from SSND, so with one-byte frames it sees a frame that was never
// recorded. Only that exact case defers to COMM: one byte beyond COMM's
// count, where the pad belongs, holding zero as a pad does. Elsewhere the
// count from the bytes present is safer, as COMM may be stale (a recording
// stopped before its header was finished says 0). libsndfile 1.2's own such
// files, whose COMM counts the pad too, cannot be told from a real frame.
bool countsThePadByteAsAFrame(int fd, const SF_INFO& info) {
    const int encoding = info.format & SF_FORMAT_SUBMASK;
    if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_AIFF || info.channels != 1 ||
        (encoding != SF_FORMAT_PCM_S8 && encoding != SF_FORMAT_PCM_U8) || info.frames < 2 || info.frames % 2 != 0)
        return false;
    const auto sizes = detail::readAiffSoundSizes(fd);
    if (!sizes || std::int64_t(sizes->commFrames) + 1 != info.frames ||
        sizes->soundBytes() != std::uint64_t(info.frames))
        return false;
    std::uint8_t last = 1;
    return ::pread(fd, &last, 1, off_t(sizes->soundAt() + sizes->commFrames)) == 1 && last == 0;
}

template <typename Sample>
void deinterleave(const Sample* src, std::uint32_t frames, int channels, Sample* const* dst) {
    for (int c = 0; c < channels; ++c) {
        Sample* out = dst[c];
        for (std::uint32_t i = 0; i < frames; ++i) out[i] = src[std::size_t(i) * channels + c];
    }
}

class SndfileReader final : public AudioFileReader {
public:
    SndfileReader(detail::SndfileSource source, std::filesystem::path path);

    const AudioFormatInfo& fileFormat() const override { return format_; }
    std::int64_t length() const override { return length_; }
    std::int64_t position() const override { return position_; }
    void seek(std::int64_t frame) override;
    void read(PCMBuffer& buffer, std::uint32_t frames) override;
    void readInt(IntPCMBuffer& buffer, std::uint32_t frames) override;
    void readInt16(PlanarBuffer<std::int16_t>& buffer, std::uint32_t frames) override;
    void readDouble(PlanarBuffer<double>& buffer, std::uint32_t frames) override;
    std::optional<StoredSampleFormat> storedSamples() const override { return stored_; }
    std::uint32_t readStored(std::uint8_t* bytes, std::uint32_t frames) override;

private:
    template <typename Sample, typename ReadBlock>
    void readBlocks(PlanarBuffer<Sample>& buffer, std::uint32_t frames, std::uint32_t blockFrames, ReadBlock readBlock);
    std::uint32_t rawBlockFrames() const;
    const std::uint8_t* readRaw(std::uint32_t frames);
    void checkDelivered(sf_count_t delivered, sf_count_t wanted) const;
    void syncFilePosition();
    [[noreturn]] void fail(std::string_view message) const { detail::throwFileError(path_, message); }

    detail::SndfileSource source_;
    std::filesystem::path path_;
    AudioFormatInfo format_;
    std::int64_t length_ = 0;
    std::int64_t position_ = 0;
    std::int64_t filePosition_ = 0;  // where libsndfile will read next; -1 after a failed read
    std::optional<RawPcmLayout> raw_;
    std::optional<StoredSampleFormat> stored_;
    std::vector<std::uint8_t> rawBlock_;
    std::vector<float> floatBlock_;
    std::vector<int> intBlock_;
    std::vector<short> shortBlock_;
    std::vector<double> doubleBlock_;
};

SndfileReader::SndfileReader(detail::SndfileSource source, std::filesystem::path path)
    : source_(std::move(source)), path_(std::move(path)) {
    const SF_INFO& info = source_.info;
    detail::requirePlausibleShape(path_, info.samplerate, info.channels);
    format_ = detail::describeSndfileFormat(info);
    length_ = std::max<sf_count_t>(info.frames, 0);
    if (countsThePadByteAsAFrame(source_.fd.get(), info)) --length_;
    raw_ = rawLayoutFor(source_.file.get(), info);
    stored_ = storedFormatOf(source_.file.get(), info);
    // Files are read front to back in large blocks: a larger read-ahead keeps
    // a cold disk streaming. Only advice; a refusal changes nothing.
    ::posix_fadvise(source_.fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
}

void SndfileReader::seek(std::int64_t frame) {
    if (frame < 0) fail("cannot seek to a negative frame position");
    position_ = frame;
}

void SndfileReader::read(PCMBuffer& buffer, std::uint32_t frames) {
    if (raw_) {
        readBlocks(buffer, frames, rawBlockFrames(),
                   [this](std::uint32_t n, float* const* dst) { detail::decodePcm(*raw_, readRaw(n), n, dst); });
        return;
    }
    readBlocks(buffer, frames, kLibraryBlockFrames, [this](std::uint32_t n, float* const* dst) {
        floatBlock_.resize(std::size_t(n) * format_.channelCount);
        checkDelivered(sf_readf_float(source_.file.get(), floatBlock_.data(), n), n);
        deinterleave(floatBlock_.data(), n, format_.channelCount, dst);
    });
}

void SndfileReader::readInt(IntPCMBuffer& buffer, std::uint32_t frames) {
    if (raw_ && raw_->encoding != RawEncoding::float32) {
        readBlocks(buffer, frames, rawBlockFrames(),
                   [this](std::uint32_t n, std::int32_t* const* dst) { detail::decodePcm(*raw_, readRaw(n), n, dst); });
        return;
    }
    if (format_.isFloat) {
        // libsndfile would scale floats by 0x7FFFFFFF; use the one rule that
        // every reader shares instead.
        AudioFileReader::readInt(buffer, frames);
        return;
    }
    readBlocks(buffer, frames, kLibraryBlockFrames, [this](std::uint32_t n, std::int32_t* const* dst) {
        intBlock_.resize(std::size_t(n) * format_.channelCount);
        checkDelivered(sf_readf_int(source_.file.get(), intBlock_.data(), n), n);
        deinterleave<std::int32_t>(intBlock_.data(), n, format_.channelCount, dst);
    });
}

void SndfileReader::readInt16(PlanarBuffer<std::int16_t>& buffer, std::uint32_t frames) {
    if (raw_ && raw_->encoding == RawEncoding::int16) {
        readBlocks(buffer, frames, rawBlockFrames(),
                   [this](std::uint32_t n, std::int16_t* const* dst) { detail::decodePcm(*raw_, readRaw(n), n, dst); });
        return;
    }
    if (format_.commonFormat != CommonFormat::int16) {
        AudioFileReader::readInt16(buffer, frames);
        return;
    }
    // FLAC and other 16-bit files libsndfile decodes itself.
    readBlocks(buffer, frames, kLibraryBlockFrames, [this](std::uint32_t n, std::int16_t* const* dst) {
        shortBlock_.resize(std::size_t(n) * format_.channelCount);
        checkDelivered(sf_readf_short(source_.file.get(), shortBlock_.data(), n), n);
        deinterleave<std::int16_t>(shortBlock_.data(), n, format_.channelCount, dst);
    });
}

void SndfileReader::readDouble(PlanarBuffer<double>& buffer, std::uint32_t frames) {
    if (format_.commonFormat != CommonFormat::float64) {
        AudioFileReader::readDouble(buffer, frames);
        return;
    }
    // libsndfile hands doubles over from a double file as they are stored.
    readBlocks(buffer, frames, kLibraryBlockFrames, [this](std::uint32_t n, double* const* dst) {
        doubleBlock_.resize(std::size_t(n) * format_.channelCount);
        checkDelivered(sf_readf_double(source_.file.get(), doubleBlock_.data(), n), n);
        deinterleave<double>(doubleBlock_.data(), n, format_.channelCount, dst);
    });
}

std::uint32_t SndfileReader::readStored(std::uint8_t* bytes, std::uint32_t frames) {
    if (!stored_) return AudioFileReader::readStored(bytes, frames);
    const std::int64_t remaining = std::max<std::int64_t>(length_ - position_, 0);
    const auto n = std::uint32_t(std::min<std::int64_t>(frames, remaining));
    if (n == 0) return 0;
    syncFilePosition();
    filePosition_ = -1;
    const auto size = sf_count_t(std::size_t(n) * std::size_t(format_.channelCount) * std::size_t(stored_->bytes));
    // As in readRaw: only a shortfall matters.
    checkDelivered(sf_read_raw(source_.file.get(), bytes, size) < size ? 0 : n, n);
    position_ += n;
    filePosition_ = position_;
    return n;
}

// Reads min(frames, capacity, remaining) frames block by block. The position
// moves only when every block arrived, so a failed read can be retried.
template <typename Sample, typename ReadBlock>
void SndfileReader::readBlocks(PlanarBuffer<Sample>& buffer, std::uint32_t frames, std::uint32_t blockFrames,
                               ReadBlock readBlock) {
    if (buffer.channelCount() < format_.channelCount) fail("the buffer has fewer channels than the file");
    buffer.setFrameLength(0);
    const std::int64_t remaining = std::max<std::int64_t>(length_ - position_, 0);
    const auto n = std::uint32_t(std::min<std::int64_t>({frames, buffer.capacity(), remaining}));
    if (n == 0) return;
    syncFilePosition();
    filePosition_ = -1;
    std::vector<Sample*> dst(std::size_t(format_.channelCount));
    for (std::uint32_t done = 0; done < n;) {
        const std::uint32_t count = std::min(blockFrames, n - done);
        for (int c = 0; c < format_.channelCount; ++c) dst[c] = buffer.channel(c) + done;
        readBlock(count, dst.data());
        done += count;
    }
    position_ += n;
    filePosition_ = position_;
    buffer.setFrameLength(n);
}

std::uint32_t SndfileReader::rawBlockFrames() const {
    return std::uint32_t(std::max<std::size_t>(kRawBlockBytes / raw_->bytesPerFrame(), 1));
}

const std::uint8_t* SndfileReader::readRaw(std::uint32_t frames) {
    const std::size_t bytes = std::size_t(frames) * raw_->bytesPerFrame();
    rawBlock_.resize(std::max(rawBlock_.size(), bytes + 2 * detail::kRawGuardBytes));
    std::uint8_t* start = rawBlock_.data() + detail::kRawGuardBytes;
    const sf_count_t got = sf_read_raw(source_.file.get(), start, sf_count_t(bytes));
    // A truncated file may hand over a partial frame beyond the length
    // libsndfile reported; only a shortfall matters.
    checkDelivered(got < sf_count_t(bytes) ? 0 : frames, frames);
    return start;
}

// libsndfile sized the file's length from the bytes present, so a shortfall
// means the file changed underneath or the disk failed: never hand out less
// than the length promised without saying so.
void SndfileReader::checkDelivered(sf_count_t delivered, sf_count_t wanted) const {
    if (delivered == wanted) return;
    if (source_.input && source_.input->readError) fail(std::strerror(source_.input->readError));
    if (sf_error(source_.file.get()) != SF_ERR_NO_ERROR) fail(sf_strerror(source_.file.get()));
    fail("the audio data ended before the file's length");
}

void SndfileReader::syncFilePosition() {
    if (filePosition_ == position_) return;
    if (sf_seek(source_.file.get(), position_, SEEK_SET) != position_) fail(sf_strerror(source_.file.get()));
    filePosition_ = position_;
}

}  // namespace

namespace detail {

std::unique_ptr<AudioFileReader> makeSndfileReader(SndfileSource source, const std::filesystem::path& path) {
    return std::make_unique<SndfileReader>(std::move(source), path);
}

}  // namespace detail

std::unique_ptr<AudioFileReader> openSndfileFile(const std::filesystem::path& path) {
    detail::UniqueFd fd = detail::openAudioInput(path);
    detail::requirePlausibleDeclaredHeader(fd.get(), path);
    detail::SndfileSource source = detail::openSndfileSource(std::move(fd));
    if (!source) detail::throwFileError(path, source.error);
    return detail::makeSndfileReader(std::move(source), path);
}

}  // namespace twinfold
