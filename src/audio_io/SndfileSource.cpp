#include "audio_io/SndfileSource.h"

#include <cerrno>
#include <cstring>

namespace twinfold::detail {
namespace {

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

SndfileSource openSndfileSource(UniqueFd fd) {
    SndfileSource source;
    source.fd = std::move(fd);
    // libsndfile reads through its own copy and closes it, whether or not
    // the open succeeds; `source.fd` stays ours.
    const int own = duplicateForLibrary(source.fd);
    if (own < 0) {
        source.error = std::strerror(errno);
        return source;
    }
    std::lock_guard lock(sndfileOpenMutex());
    source.file.reset(sf_open_fd(own, SFM_READ, &source.info, SF_TRUE));
    if (!source.file) source.error = sf_strerror(nullptr);
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
