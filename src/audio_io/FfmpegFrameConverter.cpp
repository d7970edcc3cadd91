#include "audio_io/FfmpegFrameConverter.h"

#include <cstring>
#include <vector>

namespace twinfold::ffmpeg {

void FrameConverter::convert(const AVFrame& frame, PCMBuffer& out) {
    const int channels = frame.ch_layout.nb_channels;
    const auto frames = std::uint32_t(frame.nb_samples);
    if (out.channelCount() != channels || out.capacity() < frames) out.reset(channels, frames);
    if (frame.format == AV_SAMPLE_FMT_FLTP) {
        for (int c = 0; c < channels; ++c) {
            std::memcpy(out.channel(c), frame.extended_data[c], frames * sizeof(float));
        }
    } else {
        prepareResampler(frame);
        std::vector<std::uint8_t*> planes(std::size_t(channels), nullptr);
        for (int c = 0; c < channels; ++c) planes[std::size_t(c)] = reinterpret_cast<std::uint8_t*>(out.channel(c));
        const int converted =
            check(swr_convert(resampler_.get(), planes.data(), frame.nb_samples,
                              const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples));
        // Without a rate change the converter holds nothing back.
        if (converted != frame.nb_samples) fail(AVERROR_BUG);
    }
    out.setFrameLength(frames);
}

void FrameConverter::prepareResampler(const AVFrame& frame) {
    if (resampler_ && inputFormat_ == frame.format) return;
    SwrContext* raw = nullptr;
    // FFmpeg 5.1 takes the layouts as non-const pointers but only reads them.
    auto* layout = const_cast<AVChannelLayout*>(&frame.ch_layout);
    check(swr_alloc_set_opts2(&raw, layout, AV_SAMPLE_FMT_FLTP, frame.sample_rate, layout, AVSampleFormat(frame.format),
                              frame.sample_rate, 0, nullptr));
    resampler_.reset(raw);
    check(swr_init(raw));
    inputFormat_ = AVSampleFormat(frame.format);
}

}  // namespace twinfold::ffmpeg
