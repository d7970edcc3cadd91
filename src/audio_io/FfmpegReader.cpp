#include "audio_io/FfmpegModule.h"

#include "audio_io/AudioIOError.h"
#include "audio_io/FfmpegDecoder.h"
#include "audio_io/FfmpegFormat.h"
#include "audio_io/FfmpegFrameConverter.h"
#include "audio_io/HeaderPlausibility.h"
#include "audio_io/PosixFile.h"

#include <algorithm>
#include <cstring>

namespace twinfold {
namespace {

using ffmpeg::fail;

// Bits per sample of interleaved PCM whose frames are exactly channels ×
// bits / 8 bytes, or 0 for any other coding.
int plainPcmBits(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S8: return 8;
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S16BE: return 16;
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S24BE: return 24;
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_S32BE:
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_F32BE: return 32;
    case AV_CODEC_ID_PCM_F64LE:
    case AV_CODEC_ID_PCM_F64BE: return 64;
    default: return 0;
    }
}

// A stream whose shape makes no sense is refused: FFmpeg accepts rates far
// beyond any converter and frames its PCM packets by the declared block
// align, whatever the channels and depth say.
void requirePlausibleStream(const std::filesystem::path& path, const AVCodecContext& codec, int rate, int channels) {
    detail::requirePlausibleShape(path, rate, channels);
    const int bits = plainPcmBits(codec.codec_id);
    if (bits == 0 || codec.block_align == 0) return;
    const std::string reason = detail::implausibleBlockAlign(codec.block_align, codec.ch_layout.nb_channels, bits);
    if (!reason.empty()) detail::throwFileError(path, reason);
}

// Compressed formats give no exact frame count up front: an MP3 without a
// Xing header has only an estimate, and decoders may drop or add frames at
// the edges. So the reader decodes the whole file once when it opens and
// counts what a full read delivers; the length is that count, cut to the
// container's declared length where it has one. Seeking goes forward by
// decoding and discarding, and backward by starting a fresh pass, so a
// seek yields exactly the samples a sequential read yields at that frame.
class FfmpegReader final : public AudioFileReader {
public:
    explicit FfmpegReader(std::filesystem::path path) : path_(std::move(path)) { measure(); }

    const AudioFormatInfo& fileFormat() const override { return format_; }
    std::int64_t length() const override { return length_; }
    std::int64_t position() const override { return position_; }

    void seek(std::int64_t frame) override {
        if (frame < 0) fail(AVERROR(EINVAL));
        position_ = frame;  // the decoder catches up at the next read
    }

    void read(PCMBuffer& buffer, std::uint32_t frames) override;

private:
    void measure();
    void requireShape(const AVFrame& frame) const;
    const AVFrame& nextFrame();
    void moveDecoderTo(std::int64_t frame);
    void restartDecoder();
    void skipTo(std::int64_t frame);
    std::uint32_t copyPending(PCMBuffer& buffer, std::uint32_t offset, std::uint32_t frames);

    std::filesystem::path path_;
    AudioFormatInfo format_;
    std::int64_t length_ = 0;
    std::int64_t position_ = 0;

    // The pass that serves reads, opened at the first read. `decoderPosition_`
    // is the frame index of the first sample of `pending_` not yet delivered.
    std::unique_ptr<ffmpeg::Decoder> decoder_;
    std::int64_t decoderPosition_ = 0;
    ffmpeg::FrameConverter converter_;
    PCMBuffer pending_;
    std::uint32_t pendingOffset_ = 0;
};

void FfmpegReader::measure() {
    ffmpeg::Decoder decoder(path_);
    // What the container declares is checked before a frame is decoded, so a
    // nonsense channel count never reaches the decoder's buffers.
    const AVCodecContext& declared = decoder.codec();
    if (declared.sample_rate > 0 && declared.ch_layout.nb_channels > 0)
        requirePlausibleStream(path_, declared, declared.sample_rate, declared.ch_layout.nb_channels);
    const AVFrame* frame = decoder.nextFrame();
    // The decoded frames are what counts: HE-AAC, for one, decodes at twice
    // the rate its container states.
    const int rate = frame ? frame->sample_rate : decoder.codec().sample_rate;
    const int channels = frame ? frame->ch_layout.nb_channels : decoder.codec().ch_layout.nb_channels;
    requirePlausibleStream(path_, decoder.codec(), rate, channels);
    format_ = ffmpeg::describeStream(decoder.codec(), rate, channels);
    std::int64_t frames = 0;
    for (; frame; frame = decoder.nextFrame()) {
        requireShape(*frame);
        frames += frame->nb_samples;
    }
    // Nothing but damaged packets: not audio after all.
    if (frames == 0 && decoder.firstDamage() != 0) fail(decoder.firstDamage());
    length_ = std::min(frames, decoder.declaredFrames(rate).value_or(frames));
}

// Every frame must match the stream's rate and channel count; a stream that
// changes shape midway cannot be delivered as one planar signal.
void FfmpegReader::requireShape(const AVFrame& frame) const {
    if (frame.sample_rate != int(format_.sampleRate) || frame.ch_layout.nb_channels != format_.channelCount) {
        fail(AVERROR_INPUT_CHANGED);
    }
}

const AVFrame& FfmpegReader::nextFrame() {
    const AVFrame* frame = decoder_->nextFrame();
    // The first pass delivered at least `length_` frames; fewer now means
    // the file changed since it was opened.
    if (!frame) fail(AVERROR_EOF);
    requireShape(*frame);
    return *frame;
}

void FfmpegReader::moveDecoderTo(std::int64_t frame) {
    if (decoder_ && frame < decoderPosition_ && frame >= decoderPosition_ - pendingOffset_) {
        // Still inside the frame decoded last: step back within it.
        pendingOffset_ -= std::uint32_t(decoderPosition_ - frame);
        decoderPosition_ = frame;
        return;
    }
    if (!decoder_ || frame < decoderPosition_) restartDecoder();
    skipTo(frame);
}

void FfmpegReader::restartDecoder() {
    decoder_.reset();  // release the file before opening it again
    decoder_ = std::make_unique<ffmpeg::Decoder>(path_);
    decoderPosition_ = 0;
    pending_.setFrameLength(0);
    pendingOffset_ = 0;
}

// Decodes and discards up to `frame`; frames wholly before it are never
// converted.
void FfmpegReader::skipTo(std::int64_t frame) {
    while (decoderPosition_ < frame) {
        const std::int64_t available = std::int64_t(pending_.frameLength()) - pendingOffset_;
        if (available > 0) {
            const auto skip = std::uint32_t(std::min(available, frame - decoderPosition_));
            pendingOffset_ += skip;
            decoderPosition_ += skip;
            continue;
        }
        const AVFrame& next = nextFrame();
        pending_.setFrameLength(0);
        pendingOffset_ = 0;
        if (next.nb_samples <= frame - decoderPosition_) {
            decoderPosition_ += next.nb_samples;
        } else {
            converter_.convert(next, pending_);
        }
    }
}

std::uint32_t FfmpegReader::copyPending(PCMBuffer& buffer, std::uint32_t offset, std::uint32_t frames) {
    if (pendingOffset_ == pending_.frameLength()) {
        converter_.convert(nextFrame(), pending_);
        pendingOffset_ = 0;
    }
    const std::uint32_t count = std::min(frames, pending_.frameLength() - pendingOffset_);
    for (int c = 0; c < format_.channelCount; ++c) {
        std::memcpy(buffer.channel(c) + offset, pending_.channel(c) + pendingOffset_, count * sizeof(float));
    }
    pendingOffset_ += count;
    decoderPosition_ += count;
    return count;
}

void FfmpegReader::read(PCMBuffer& buffer, std::uint32_t frames) {
    if (buffer.channelCount() < format_.channelCount) {
        throw AudioIOError("the buffer has fewer channels than the file");
    }
    const std::int64_t remaining = std::max<std::int64_t>(0, length_ - position_);
    const auto wanted = std::uint32_t(std::min<std::int64_t>({frames, buffer.capacity(), remaining}));
    buffer.setFrameLength(0);
    if (wanted == 0) return;
    try {
        moveDecoderTo(position_);
        std::uint32_t done = 0;
        while (done < wanted) done += copyPending(buffer, done, wanted - done);
        position_ += done;
        buffer.setFrameLength(done);
    } catch (...) {
        decoder_.reset();  // a failed pass is never resumed midway
        throw;
    }
}

}  // namespace

std::unique_ptr<AudioFileReader> ffmpeg_module::open(const std::filesystem::path& path) {
    return std::make_unique<FfmpegReader>(path);
}

}  // namespace twinfold
