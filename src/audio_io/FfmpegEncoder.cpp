#include "audio_io/FfmpegEncoder.h"

#include "audio_io/FfmpegOutputFile.h"
#include "audio_io/FfmpegSupport.h"

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
};

Recipe recipeFor(EncodedFormat format) {
    switch (format) {
    case EncodedFormat::mp3: return {"libmp3lame", "mp3", 96000};
    case EncodedFormat::m4aAac: return {"aac", "ipod", 96000};
    case EncodedFormat::m4aAlac: return {"alac", "ipod", 0};
    case EncodedFormat::adtsAac: return {"aac", "adts", 96000};
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

    OutputFile file_;
    OutputPtr muxer_;
    CodecPtr codec_;
    AVStream* stream_ = nullptr;
    FramePtr frame_ = makeFrame();
    PacketPtr packet_ = makePacket();
};

Encoder::Encoder(const std::filesystem::path& path, int channels, int sampleRate, EncodedFormat format)
    : file_(path) {
    const Recipe recipe = recipeFor(format);
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, recipe.muxer, nullptr));
    muxer_.reset(raw);
    muxer_->pb = file_.io();
    muxer_->flags |= AVFMT_FLAG_CUSTOM_IO;
    openCodec(recipe, channels, sampleRate);
    openMuxer(sampleRate);
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
    check(avcodec_open2(codec_.get(), codec, nullptr));
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
        check(av_interleaved_write_frame(muxer_.get(), packet_.get()));
    }
}

void requireChannels(const std::vector<std::vector<float>>& channels, int sampleRate) {
    if (channels.empty()) throw std::invalid_argument("no channels to encode");
    for (const auto& channel : channels) {
        if (channel.size() != channels.front().size()) {
            throw std::invalid_argument("channels of unequal length");
        }
    }
    if (sampleRate <= 0) throw std::invalid_argument("sample rate must be positive");
}

}  // namespace

void encodeAudioFile(const std::filesystem::path& path, const std::vector<std::vector<float>>& planarChannels,
                     int sampleRate, EncodedFormat format) {
    requireChannels(planarChannels, sampleRate);
    silenceLog();
    Encoder encoder(path, int(planarChannels.size()), sampleRate, format);
    encoder.encode(planarChannels);
}

}  // namespace twinfold
