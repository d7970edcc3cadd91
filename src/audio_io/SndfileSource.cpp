#include "audio_io/SndfileSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace twinfold::detail {
namespace {

// Enough for the header of any file but one with large chunks before its
// audio, which are then read with pread like the audio itself.
constexpr std::size_t kHeadBytes = 64 * 1024;

SndfileInput& inputOf(void* user) { return *static_cast<SndfileInput*>(user); }

sf_count_t inputLength(void* user) { return inputOf(user).length; }

sf_count_t inputSeek(sf_count_t offset, int whence, void* user) {
    SndfileInput& in = inputOf(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = in.position;
    if (whence == SEEK_END) base = in.length;
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || base + offset < 0) return -1;
    in.position = base + offset;
    return in.position;
}

// Reads like read(2) on a descriptor of its own: all that is asked unless
// the file ends or a read fails, which is noted for the reader's message.
sf_count_t inputRead(void* target, sf_count_t count, void* user) {
    SndfileInput& in = inputOf(user);
    auto* out = static_cast<unsigned char*>(target);
    sf_count_t done = 0;
    if (in.position < sf_count_t(in.head.size())) {
        done = std::min(count, sf_count_t(in.head.size()) - in.position);
        std::memcpy(out, in.head.data() + in.position, std::size_t(done));
    }
    while (done < count) {
        const ssize_t got = ::pread(in.fd, out + done, std::size_t(count - done), off_t(in.position + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) in.readError = errno;
        if (got <= 0) break;
        done += got;
    }
    in.position += done;
    return done;
}

sf_count_t inputWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t inputTell(void* user) { return inputOf(user).position; }

// The file's size and first bytes; errno, or 0.
int readHead(SndfileInput& in) {
    struct stat status {};
    if (::fstat(in.fd, &status) != 0) return errno;
    in.length = status.st_size;
    in.head.resize(std::min<std::size_t>(kHeadBytes, std::size_t(std::max<off_t>(status.st_size, 0))));
    ssize_t got;
    do {
        got = ::pread(in.fd, in.head.data(), in.head.size(), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return errno;
    in.head.resize(std::size_t(got));
    return 0;
}

std::uint32_t encodingFormatID(int subformat) {
    switch (subformat) {
    case SF_FORMAT_ULAW: return fourCC("ulaw");
    case SF_FORMAT_ALAW: return fourCC("alaw");
    case SF_FORMAT_IMA_ADPCM: return fourCC("ima4");
    case SF_FORMAT_FLAC: return fourCC("flac");
    case SF_FORMAT_OPUS: return fourCC("opus");
    case SF_FORMAT_VORBIS: return fourCC("vorb");
    case SF_FORMAT_ALAC_16:
    case SF_FORMAT_ALAC_20:
    case SF_FORMAT_ALAC_24:
    case SF_FORMAT_ALAC_32: return kFormatAppleLossless;
    case SF_FORMAT_MPEG_LAYER_III: return kFormatMPEGLayer3;
    default: return fourCC("????");  // some other compressed encoding
    }
}

}  // namespace

std::mutex& sndfileOpenMutex() {
    static std::mutex mutex;
    return mutex;
}

namespace {

// An ID3 tag in front of the audio: libsndfile skips it by reading the rest
// at an offset, which it applies to its own descriptor only.
bool startsWithTag(const SndfileInput& in) { return in.head.size() >= 3 && std::memcmp(in.head.data(), "ID3", 3) == 0; }

void openThroughCopy(SndfileSource& source) {
    // libsndfile closes the descriptor it is given, whether or not the open
    // succeeds; `source.fd` stays ours.
    const int own = duplicateForLibrary(source.fd);
    if (own < 0) {
        source.error = std::strerror(errno);
        return;
    }
    source.input.reset();
    std::lock_guard lock(sndfileOpenMutex());
    source.file.reset(sf_open_fd(own, SFM_READ, &source.info, SF_TRUE));
    if (!source.file) source.error = sf_strerror(nullptr);
}

}  // namespace

SndfileSource openSndfileSource(UniqueFd fd) {
    SndfileSource source;
    source.fd = std::move(fd);
    source.input = std::make_unique<SndfileInput>();
    SndfileInput& in = *source.input;
    in.fd = source.fd.get();
    if (const int error = readHead(in)) {
        source.error = std::strerror(error);
        return source;
    }
    if (startsWithTag(in)) {
        openThroughCopy(source);
        return source;
    }
    static SF_VIRTUAL_IO io{inputLength, inputSeek, inputRead, inputWrite, inputTell};
    std::lock_guard lock(sndfileOpenMutex());
    source.file.reset(sf_open_virtual(&io, SFM_READ, &source.info, &in));
    // A header that could not be read is a disk's failure, not a format's.
    if (!source.file) source.error = in.readError ? std::strerror(in.readError) : sf_strerror(nullptr);
    return source;
}

bool isMpegAudio(const SF_INFO& info) {
    const int sub = info.format & SF_FORMAT_SUBMASK;
    return (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG || sub == SF_FORMAT_MPEG_LAYER_I ||
           sub == SF_FORMAT_MPEG_LAYER_II || sub == SF_FORMAT_MPEG_LAYER_III;
}

AudioFormatInfo describeSndfileFormat(const SF_INFO& info) {
    AudioFormatInfo format;
    format.sampleRate = info.samplerate;
    format.channelCount = info.channels;
    format.isInterleaved = true;
    format.formatID = kFormatLinearPCM;
    switch (info.format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64: format.container = ContainerType::wave; break;
    case SF_FORMAT_AIFF: format.container = ContainerType::aiff; break;
    default: break;
    }
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: format.bitsPerChannel = 8; break;
    case SF_FORMAT_PCM_16:
        format.bitsPerChannel = 16;
        format.commonFormat = CommonFormat::int16;
        break;
    case SF_FORMAT_PCM_24: format.bitsPerChannel = 24; break;
    case SF_FORMAT_PCM_32:
        format.bitsPerChannel = 32;
        format.commonFormat = CommonFormat::int32;
        break;
    case SF_FORMAT_FLOAT:
        format.bitsPerChannel = 32;
        format.commonFormat = CommonFormat::float32;
        format.isFloat = true;
        break;
    case SF_FORMAT_DOUBLE:
        format.bitsPerChannel = 64;
        format.commonFormat = CommonFormat::float64;
        format.isFloat = true;
        break;
    default: format.formatID = encodingFormatID(info.format & SF_FORMAT_SUBMASK); break;
    }
    return format;
}

}  // namespace twinfold::detail
