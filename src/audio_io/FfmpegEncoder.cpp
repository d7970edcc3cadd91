#include "audio_io/FfmpegModule.h"

#include "audio_io/FfmpegOutputFile.h"
#include "audio_io/FfmpegSupport.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

namespace twinfold {
namespace {

using namespace ffmpeg;

struct Recipe {
    const char* encoder;
    const char* muxer;
    std::int64_t bitRatePerChannel;  // 0 for lossless
    const char* options;
};

// Perceptual noise substitution has the decoder invent noise for each
// channel, and intensity stereo rebuilds one channel from the other with a
// quantised gain; either turns identical channels into different ones, and
// files made to show dual mono must decode as dual mono.
constexpr const char* kAacOptions = "aac_pns=0:aac_is=0";

Recipe recipeFor(EncodedFormat format) {
    switch (format) {
    case EncodedFormat::mp3: return {"libmp3lame", "mp3", 96000, ""};
    case EncodedFormat::m4aAac: return {"aac", "ipod", 96000, kAacOptions};
    case EncodedFormat::m4aAlac: return {"alac", "ipod", 0, ""};
    case EncodedFormat::adtsAac: return {"aac", "adts", 96000, kAacOptions};
    }
    throw std::invalid_argument("unknown encoded format");
}

// The encoders take planar float where they can (LAME, AAC); ALAC takes
// planar 16-bit, which keeps its output a 16-bit file.
AVSampleFormat sampleFormatFor(const AVCodec& codec) {
    for (const AVSampleFormat* f = codec.sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == AV_SAMPLE_FMT_FLTP) return *f;
    }
    return AV_SAMPLE_FMT_S16P;
}

// Encoders accept only some layouts (AAC has no plain 6-channel "5.1" but a
// "5.1(side)"); the first one it lists with the right channel count wins.
void chooseLayout(const AVCodec& codec, int channels, AVChannelLayout& layout) {
    for (const AVChannelLayout* l = codec.ch_layouts; l && l->nb_channels != 0; ++l) {
        if (l->nb_channels == channels) {
            check(av_channel_layout_copy(&layout, l));
            return;
        }
    }
    av_channel_layout_default(&layout, channels);
}

class Encoder {
public:
    Encoder(const std::filesystem::path& path, int channels, int sampleRate, EncodedFormat format);
    void encode(const std::vector<std::vector<float>>& channels);

private:
    void openCodec(const Recipe& recipe, int channels, int sampleRate);
    void openMuxer(int sampleRate);
    void fillFrame(const std::vector<std::vector<float>>& channels, std::size_t start, int count);
    void send(const AVFrame* frame);
    void write(AVPacket& packet);
    void writeHeldPacket(std::int64_t inputFrames);

    OutputFile file_;
    OutputPtr muxer_;
    CodecPtr codec_;
    AVStream* stream_ = nullptr;
    FramePtr frame_ = makeFrame();
    PacketPtr packet_ = makePacket();
    // MP3 only: the last packet is held back until its padding is known.
    bool holdLastPacket_ = false;
    PacketPtr held_ = makePacket();
    std::int64_t packetCount_ = 0;
};

Encoder::Encoder(const std::filesystem::path& path, int channels, int sampleRate, EncodedFormat format) : file_(path) {
    const Recipe recipe = recipeFor(format);
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, recipe.muxer, nullptr));
    muxer_.reset(raw);
    muxer_->pb = file_.io();
    muxer_->flags |= AVFMT_FLAG_CUSTOM_IO;
    openCodec(recipe, channels, sampleRate);
    openMuxer(sampleRate);
    holdLastPacket_ = format == EncodedFormat::mp3;
}

void Encoder::openCodec(const Recipe& recipe, int channels, int sampleRate) {
    const AVCodec* codec = avcodec_find_encoder_by_name(recipe.encoder);
    if (!codec) fail(AVERROR_ENCODER_NOT_FOUND);
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_) fail(AVERROR(ENOMEM));
    codec_->sample_rate = sampleRate;
    codec_->sample_fmt = sampleFormatFor(*codec);
    codec_->bit_rate = recipe.bitRatePerChannel * channels;
    codec_->time_base = AVRational{1, sampleRate};
    chooseLayout(*codec, channels, codec_->ch_layout);
    if (muxer_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    check(av_dict_parse_string(&options, recipe.options, "=", ":", 0));
    const int opened = avcodec_open2(codec_.get(), codec, &options);
    av_dict_free(&options);
    check(opened);
}

void Encoder::openMuxer(int sampleRate) {
    stream_ = avformat_new_stream(muxer_.get(), nullptr);
    if (!stream_) fail(AVERROR(ENOMEM));
    stream_->time_base = AVRational{1, sampleRate};
    check(avcodec_parameters_from_context(stream_->codecpar, codec_.get()));
    AVDictionary* options = nullptr;
    // The edit list is written in the movie time scale; at the default of
    // 1/1000 s it cannot state the exact end of the audio, at the sample
    // rate it can.
    av_dict_set_int(&options, "movie_timescale", sampleRate, 0);
    const int written = avformat_write_header(muxer_.get(), &options);
    av_dict_free(&options);
    check(written);
}

void Encoder::encode(const std::vector<std::vector<float>>& channels) {
    const std::size_t total = channels.front().size();
    // Encoders with a variable frame size (ALAC) state none; any block works.
    const int blockSize = codec_->frame_size > 0 ? codec_->frame_size : 4096;
    for (std::size_t start = 0; start < total; start += std::size_t(blockSize)) {
        const int count = int(std::min<std::size_t>(std::size_t(blockSize), total - start));
        fillFrame(channels, start, count);
        send(frame_.get());
    }
    send(nullptr);
    writeHeldPacket(std::int64_t(total));
    check(av_write_trailer(muxer_.get()));
    file_.commit();
}

void Encoder::fillFrame(const std::vector<std::vector<float>>& channels, std::size_t start, int count) {
    av_frame_unref(frame_.get());
    frame_->nb_samples = count;
    frame_->format = codec_->sample_fmt;
    frame_->sample_rate = codec_->sample_rate;
    frame_->pts = std::int64_t(start);
    check(av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout));
    check(av_frame_get_buffer(frame_.get(), 0));
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const float* source = channels[c].data() + start;
        if (codec_->sample_fmt == AV_SAMPLE_FMT_FLTP) {
            std::memcpy(frame_->extended_data[c], source, std::size_t(count) * sizeof(float));
            continue;
        }
        auto* target = reinterpret_cast<std::int16_t*>(frame_->extended_data[c]);
        for (int i = 0; i < count; ++i) {
            const float scaled = std::isnan(source[i]) ? 0.0f : std::nearbyint(source[i] * 32768.0f);
            target[i] = std::int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
        }
    }
}

void Encoder::send(const AVFrame* frame) {
    check(avcodec_send_frame(codec_.get(), frame));
    for (;;) {
        const int received = avcodec_receive_packet(codec_.get(), packet_.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
        check(received);
        av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        write(*packet_);
    }
}

void Encoder::write(AVPacket& packet) {
    if (!holdLastPacket_) {
        check(av_interleaved_write_frame(muxer_.get(), &packet));
        return;
    }
    if (held_->data) check(av_interleaved_write_frame(muxer_.get(), held_.get()));
    av_packet_move_ref(held_.get(), &packet);
    ++packetCount_;
}

// The MP3 muxer writes the end padding of the LAME header from the padding
// marked on the last packet, and FFmpeg's LAME wrapper marks at most that
// packet's own samples. When the padding reaches back into the packet before
// (an input 1 to 46 frames past a multiple of 1152), the header would declare
// too little and the file would decode that much too long. The padding is
// what the packets hold beyond the encoder delay and the input.
void Encoder::writeHeldPacket(std::int64_t inputFrames) {
    if (!holdLastPacket_ || !held_->data) return;
    const std::int64_t padding = packetCount_ * codec_->frame_size - codec_->initial_padding - inputFrames;
    std::size_t size = 0;
    std::uint8_t* skip = av_packet_get_side_data(held_.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (!skip || size < 10) {
        skip = av_packet_new_side_data(held_.get(), AV_PKT_DATA_SKIP_SAMPLES, 10);
        if (!skip) fail(AVERROR(ENOMEM));
        std::memset(skip, 0, 10);
    }
    AV_WL32(skip + 4, std::uint32_t(std::max<std::int64_t>(padding, 0)));
    check(av_interleaved_write_frame(muxer_.get(), held_.get()));
}

void requireChannels(const std::vector<std::vector<float>>& channels, int sampleRate) {
    // FFmpeg writes files without a single sample, but cannot read them back.
    if (channels.empty() || channels.front().empty()) throw std::invalid_argument("no samples to encode");
    for (const auto& channel : channels) {
        if (channel.size() != channels.front().size()) {
            throw std::invalid_argument("channels of unequal length");
        }
    }
    if (sampleRate <= 0) throw std::invalid_argument("sample rate must be positive");
}

}  // namespace

void ffmpeg_module::encode(const std::filesystem::path& path, const std::vector<std::vector<float>>& planarChannels,
                           int sampleRate, EncodedFormat format) {
    requireChannels(planarChannels, sampleRate);
    silenceLog();
    Encoder encoder(path, int(planarChannels.size()), sampleRate, format);
    encoder.encode(planarChannels);
}

}  // namespace twinfold
