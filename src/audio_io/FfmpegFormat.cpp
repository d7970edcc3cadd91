#include "audio_io/FfmpegFormat.h"

#include <string_view>

namespace twinfold::ffmpeg {
namespace {

// PCM codecs that store linear samples, as opposed to companded (A-law,
// µ-law) or otherwise coded ones, which FFmpeg also names "pcm_…".
bool isLinearPcm(const AVCodecDescriptor* descriptor) {
    return descriptor && std::string_view(descriptor->name).starts_with("pcm_") &&
           (descriptor->props & AV_CODEC_PROP_LOSSLESS) && !(descriptor->props & AV_CODEC_PROP_LOSSY);
}

bool isFloatPcm(const AVCodecDescriptor* descriptor) { return std::string_view(descriptor->name).starts_with("pcm_f"); }

std::uint32_t codeFromName(std::string_view name) {
    char text[5] = {' ', ' ', ' ', ' ', '\0'};
    for (std::size_t i = 0; i < 4 && i < name.size(); ++i) text[i] = name[i];
    return fourCC(text);
}

std::uint32_t formatIDFor(AVCodecID id, const AVCodecDescriptor* descriptor) {
    switch (id) {
    case AV_CODEC_ID_MP3: return kFormatMPEGLayer3;
    case AV_CODEC_ID_MP2: return fourCC(".mp2");
    case AV_CODEC_ID_MP1: return fourCC(".mp1");
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AAC_LATM: return kFormatMPEG4AAC;
    case AV_CODEC_ID_ALAC: return kFormatAppleLossless;
    case AV_CODEC_ID_AC3: return fourCC("ac-3");
    case AV_CODEC_ID_EAC3: return fourCC("ec-3");
    case AV_CODEC_ID_PCM_ALAW: return fourCC("alaw");
    case AV_CODEC_ID_PCM_MULAW: return fourCC("ulaw");
    default: break;
    }
    if (isLinearPcm(descriptor)) return kFormatLinearPCM;
    return codeFromName(descriptor ? descriptor->name : "????");
}

CommonFormat integerFormatFor(int bits) {
    if (bits == 16) return CommonFormat::int16;
    if (bits == 32) return CommonFormat::int32;
    return CommonFormat::other;
}

}  // namespace

AudioFormatInfo describeStream(const AVCodecContext& codec, double sampleRate, int channelCount) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.codec_id);
    AudioFormatInfo info{
        .sampleRate = sampleRate, .channelCount = channelCount, .formatID = formatIDFor(codec.codec_id, descriptor)};
    if (isLinearPcm(descriptor)) {
        info.bitsPerChannel = av_get_bits_per_sample(codec.codec_id);
        info.isFloat = isFloatPcm(descriptor);
        info.isInterleaved = true;
        if (info.isFloat) {
            info.commonFormat = info.bitsPerChannel == 32   ? CommonFormat::float32
                                : info.bitsPerChannel == 64 ? CommonFormat::float64
                                                            : CommonFormat::other;
        } else {
            info.commonFormat = integerFormatFor(info.bitsPerChannel);
        }
    } else if (descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS)) {
        info.bitsPerChannel = codec.bits_per_raw_sample;
        info.commonFormat = integerFormatFor(info.bitsPerChannel);
    }
    return info;
}

}  // namespace twinfold::ffmpeg
