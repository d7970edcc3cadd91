#pragma once

#include "audio_io/FfmpegSupport.h"
#include "audio_io/PCMBuffer.h"

namespace twinfold::ffmpeg {

// Turns decoded frames of any sample format into planar float, full scale
// ±1.0, at the frame's own rate and channel layout (no resampling, no
// remixing).
class FrameConverter {
public:
    // Replaces the contents of `out` with the frame's samples.
    void convert(const AVFrame& frame, PCMBuffer& out);

private:
    void prepareResampler(const AVFrame& frame);

    ResamplerPtr resampler_;
    AVSampleFormat inputFormat_ = AV_SAMPLE_FMT_NONE;
};

}  // namespace twinfold::ffmpeg
