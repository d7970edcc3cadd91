#include "audio_io/FfmpegDecoder.h"

#include "audio_io/FfmpegHeaderGuess.h"

#include <string_view>
#include <system_error>

namespace twinfold::ffmpeg {
namespace {

// Opening a FIFO or a device would block or read forever; a directory is
// reported the way the file system reports it.
void requireRegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return;  // FFmpeg reports the failure itself
    if (std::filesystem::is_directory(status)) fail(AVERROR(EISDIR));
    if (!std::filesystem::is_regular_file(status)) fail(AVERROR(EINVAL));
}

}  // namespace

Decoder::Decoder(const std::filesystem::path& path) {
    silenceLog();
    limitAllocations();
    requireRegularFile(path);
    openInput(path);
    openCodec();
}

void Decoder::openInput(const std::filesystem::path& path) {
    const int probed = openInputAs(path, nullptr);
    if (probed >= 0 && hasAudioStream()) return;
    const AVInputFormat* format = demuxerFromFrameHeader(path);
    if (!format) {
        check(probed);
        return;  // opened without audio: finding the stream reports it
    }
    const int forced = openInputAs(path, format);
    if (forced < 0) fail(probed < 0 ? probed : forced);
}

int Decoder::openInputAs(const std::filesystem::path& path, const AVInputFormat* format) {
    input_.reset();
    AVDictionary* options = nullptr;
    // Containers such as playlists may name further inputs; only local files
    // may ever be opened, never a network address.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, fileUrl(path).c_str(), format, &options);
    av_dict_free(&options);
    if (opened < 0) return opened;
    input_.reset(raw);
    return avformat_find_stream_info(raw, nullptr);
}

bool Decoder::hasAudioStream() const {
    return av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
}

void Decoder::openCodec() {
    const AVCodec* codec = nullptr;
    streamIndex_ = check(av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0));
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
        if (int(i) != streamIndex_) input_->streams[i]->discard = AVDISCARD_ALL;
    }
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_) fail(AVERROR(ENOMEM));
    const AVStream* stream = input_->streams[streamIndex_];
    check(avcodec_parameters_to_context(codec_.get(), stream->codecpar));
    codec_->pkt_timebase = stream->time_base;
    codec_->thread_count = 1;
    check(avcodec_open2(codec_.get(), codec, nullptr));
}

const AVFrame* Decoder::nextFrame() {
    for (;;) {
        const int received = avcodec_receive_frame(codec_.get(), frame_.get());
        if (received == AVERROR_EOF) return nullptr;
        if (received == AVERROR(EAGAIN)) {
            feedDecoder();
        } else if (!skippedDamage(received) && frame_->nb_samples > 0) {
            return frame_.get();
        }
    }
}

void Decoder::feedDecoder() {
    for (;;) {
        const int read = av_read_frame(input_.get(), packet_.get());
        if (read == AVERROR_EOF) {
            check(avcodec_send_packet(codec_.get(), nullptr));
            return;
        }
        check(read);
        if (packet_->stream_index != streamIndex_) {
            av_packet_unref(packet_.get());
            continue;
        }
        const int sent = avcodec_send_packet(codec_.get(), packet_.get());
        av_packet_unref(packet_.get());
        skippedDamage(sent);
        return;
    }
}

// A packet the decoder cannot make sense of (the seam of two joined MP3s, a
// damaged frame, which decoders report as invalid data, an invalid argument
// or an unsupported feature) is dropped, as FFmpeg's own tools and players
// drop it; the same packets fail on every pass, so the length stays exact.
// Running out of memory, an internal fault or a broken exchange with the
// decoder ends the read.
bool Decoder::skippedDamage(int result) {
    if (result >= 0) return false;
    for (int fatal : {AVERROR(ENOMEM), AVERROR_BUG, AVERROR_BUG2, AVERROR_EXTERNAL, AVERROR(EAGAIN), AVERROR_EOF}) {
        if (result == fatal) fail(result);
    }
    if (firstDamage_ == 0) firstDamage_ = result;
    return true;
}

std::optional<std::int64_t> Decoder::declaredFrames(int sampleRate) const {
    // The mov demuxer (MP4, M4A, 3GP, QuickTime) is the one whose stream
    // duration comes from sample tables rather than an estimate.
    if (std::string_view(input_->iformat->name).find("mp4") == std::string_view::npos) return {};
    const AVStream* stream = input_->streams[streamIndex_];
    if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0) return {};
    return av_rescale_q(stream->duration, stream->time_base, AVRational{1, sampleRate});
}

}  // namespace twinfold::ffmpeg
