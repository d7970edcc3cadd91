#pragma once

#include "audio_io/FfmpegSupport.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace twinfold::ffmpeg {

// One pass through the best audio stream of a file, from its first frame.
// The frames come with the encoder delay and padding already removed where
// the container declares them as skip samples (LAME/Xing header, the start
// of an MP4 edit list). Packets the decoder rejects as damaged are dropped;
// every other failure throws AudioIOError.
class Decoder {
public:
    explicit Decoder(const std::filesystem::path& path);

    // The next frame with at least one sample, or nullptr at the end of the
    // stream. The frame stays valid until the next call.
    const AVFrame* nextFrame();

    const AVCodecContext& codec() const { return *codec_; }

    // The error of the first packet the decoder rejected and dropped, or 0.
    int firstDamage() const { return firstDamage_; }

    // The frame count the container declares for the stream, where that
    // number is exact (MP4 sample tables and edit lists), at `sampleRate`.
    // An MP4 edit list also cuts the encoder padding at the end, which the
    // decoder leaves in.
    std::optional<std::int64_t> declaredFrames(int sampleRate) const;

private:
    void openInput(const std::filesystem::path& path);
    // Opens and reads the stream information; returns FFmpeg's result.
    // A null `format` lets FFmpeg probe the content.
    int openInputAs(const std::filesystem::path& path, const AVInputFormat* format);
    bool hasAudioStream() const;
    void openCodec();
    // Sends the next packet of the stream to the decoder, or the end-of-stream
    // marker once the file is exhausted.
    void feedDecoder();
    // True when `result` is a damaged-packet error to pass over; throws for
    // any other error.
    bool skippedDamage(int result);

    InputPtr input_;
    CodecPtr codec_;
    PacketPtr packet_ = makePacket();
    FramePtr frame_ = makeFrame();
    int streamIndex_ = -1;
    int firstDamage_ = 0;
};

}  // namespace twinfold::ffmpeg
