#pragma once

#include "audio_io/AudioFormat.h"
#include "audio_io/FfmpegSupport.h"

namespace twinfold::ffmpeg {

// How a stream stores its samples, in the terms callers use for every file:
// MP3 ".mp3", AAC "aac ", ALAC "alac", linear PCM "lpcm", other codecs a
// code made from their name. Lossy codecs have no sample size (bits 0,
// common format `other`); lossless ones report their bit depth.
// `codec` is the opened decoder, which knows the bit depth of lossless streams.
AudioFormatInfo describeStream(const AVCodecContext& codec, double sampleRate, int channelCount);

}  // namespace twinfold::ffmpeg
