#include "audio_io/AudioFileReader.h"

#include "audio_io/AudioFileOpen.h"
#include "audio_io/AudioIOError.h"
#include "audio_io/FfmpegReader.h"
#include "audio_io/HeaderPlausibility.h"
#include "audio_io/PcmCodec.h"
#include "audio_io/SndfileSource.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace twinfold {

AudioFormatInfo AudioFileReader::processingFormat() const {
    const AudioFormatInfo& file = fileFormat();
    AudioFormatInfo format;
    format.sampleRate = file.sampleRate;
    format.channelCount = file.channelCount;
    format.commonFormat = CommonFormat::float32;
    format.formatID = kFormatLinearPCM;
    format.bitsPerChannel = 32;
    format.isFloat = true;
    format.isInterleaved = false;
    return format;
}

namespace {

// Fills `buffer` from float reads in blocks, each block's channel turned into
// the buffer's samples by `convert(in, count, out)`.
template <typename Sample, typename Convert>
void readThroughFloats(AudioFileReader& reader, PlanarBuffer<Sample>& buffer, std::uint32_t frames, Convert convert) {
    const int channels = reader.channelCount();
    if (buffer.channelCount() < channels) throw AudioIOError("the buffer has fewer channels than the file");
    const std::uint32_t wanted = std::min(frames, buffer.capacity());
    PCMBuffer block(channels, std::min<std::uint32_t>(wanted, 65536));
    std::uint32_t done = 0;
    while (done < wanted) {
        reader.read(block, std::min(block.capacity(), wanted - done));
        const std::uint32_t n = block.frameLength();
        if (n == 0) break;
        for (int c = 0; c < channels; ++c) convert(block.channel(c), n, buffer.channel(c) + done);
        done += n;
    }
    buffer.setFrameLength(done);
}

}  // namespace

void AudioFileReader::readInt(IntPCMBuffer& buffer, std::uint32_t frames) {
    readThroughFloats(*this, buffer, frames, detail::floatToInt32);
}

void AudioFileReader::readInt16(PlanarBuffer<std::int16_t>& buffer, std::uint32_t frames) {
    const int channels = channelCount();
    if (buffer.channelCount() < channels) throw AudioIOError("the buffer has fewer channels than the file");
    IntPCMBuffer stored(channels, std::min(frames, buffer.capacity()));
    readInt(stored, stored.capacity());
    for (int c = 0; c < channels; ++c) {
        const std::int32_t* in = stored.channel(c);
        std::int16_t* out = buffer.channel(c);
        for (std::uint32_t i = 0; i < stored.frameLength(); ++i) out[i] = std::int16_t(in[i] >> 16);
    }
    buffer.setFrameLength(stored.frameLength());
}

void AudioFileReader::readDouble(PlanarBuffer<double>& buffer, std::uint32_t frames) {
    readThroughFloats(*this, buffer, frames,
                      [](const float* in, std::size_t count, double* out) { std::copy(in, in + count, out); });
}

std::uint32_t AudioFileReader::readStored(std::uint8_t*, std::uint32_t) {
    throw AudioIOError("this file's samples cannot be read as stored");
}

namespace detail {
namespace {

bool startsWith(const unsigned char* head, std::size_t size, std::size_t offset, const char* magic) {
    const std::size_t length = std::strlen(magic);
    return size >= offset + length && std::memcmp(head + offset, magic, length) == 0;
}

std::size_t readHead(int fd, std::uint64_t offset, unsigned char (&head)[12], const std::filesystem::path& path) {
    ssize_t got;
    do {
        got = ::pread(fd, head, sizeof head, off_t(offset));
    } while (got < 0 && errno == EINTR);
    if (got < 0) throwErrno(path, errno);
    return std::size_t(got);
}

// Some tools put an ID3 tag in front of a WAV or AIFF file; what follows the
// tag decides, and libsndfile skips such a tag itself.
ContentKind sniffFile(int fd, const std::filesystem::path& path) {
    unsigned char head[12];
    std::size_t size = readHead(fd, 0, head, path);
    if (size >= 10 && startsWith(head, size, 0, "ID3")) {
        const std::uint64_t tagSize = std::uint64_t(head[6] & 0x7F) << 21 | std::uint64_t(head[7] & 0x7F) << 14 |
                                      std::uint64_t(head[8] & 0x7F) << 7 | std::uint64_t(head[9] & 0x7F);
        const bool footer = (head[5] & 0x10) != 0;
        size = readHead(fd, 10 + tagSize + (footer ? 10 : 0), head, path);
        return sniffContent(head, size) == ContentKind::pcmContainer ? ContentKind::pcmContainer
                                                                     : ContentKind::compressed;
    }
    return sniffContent(head, size);
}

}  // namespace

ContentKind sniffContent(const unsigned char* head, std::size_t size) {
    if (startsWith(head, size, 0, "ID3") || startsWith(head, size, 4, "ftyp") || startsWith(head, size, 0, "ADIF"))
        return ContentKind::compressed;
    // An MPEG audio frame or an ADTS header starts with 11 (12) set sync bits.
    if (size >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0) return ContentKind::compressed;
    for (const char* magic : {"RIFF", "RIFX", "RF64", "BW64", "FORM"}) {
        if (startsWith(head, size, 0, magic)) return ContentKind::pcmContainer;
    }
    return ContentKind::unknown;
}

std::unique_ptr<AudioFileReader> openAudioFileWith(const std::filesystem::path& path,
                                                   const CompressedOpener& openCompressed) {
    UniqueFd fd = openAudioInput(path);
    const ContentKind kind = sniffFile(fd.get(), path);
    if (kind == ContentKind::compressed) return openCompressed(path);
    if (kind == ContentKind::pcmContainer) requirePlausibleDeclaredHeader(fd.get(), path);

    SndfileSource source = openSndfileSource(std::move(fd));
    if (source && !isMpegAudio(source.info)) return makeSndfileReader(std::move(source), path);
    if (source) {
        source.file.reset();  // release the file before the other decoder opens it
        source.fd.close();
        return openCompressed(path);
    }
    // A RIFF or IFF file libsndfile rejects is a broken PCM file, not one for
    // a more lenient decoder that would guess at its length.
    if (kind == ContentKind::unknown) {
        try {
            return openCompressed(path);
        } catch (const AudioIOError&) {
            // Neither decoder knows it: libsndfile's verdict is the clearer one.
        }
    }
    throwFileError(path, source.error);
}

}  // namespace detail

std::unique_ptr<AudioFileReader> openAudioFile(const std::filesystem::path& path) {
    return detail::openAudioFileWith(path, openFfmpegFile);
}

}  // namespace twinfold
