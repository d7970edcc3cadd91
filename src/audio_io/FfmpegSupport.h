#pragma once

// Ownership wrappers for FFmpeg's C objects and the one way FFmpeg failures
// become AudioIOError, shared by the decoder and the encoder.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace twinfold::ffmpeg {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputFreer {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ResamplerFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFreer>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;

FramePtr makeFrame();
PacketPtr makePacket();

// FFmpeg's own text for an error code.
std::string errorText(int code);
// Throws AudioIOError carrying FFmpeg's text for `code`.
[[noreturn]] void fail(int code);
// Returns `result` unchanged when it is not an error, otherwise fails with it.
int check(int result);

// FFmpeg would print decoder and demuxer chatter to stderr; the application
// reports failures through exceptions instead, so its log is silenced once.
void silenceLog();

// FFmpeg sizes some buffers from lengths a file declares before it reads
// them (the wav demuxer an INFO entry, for one), so a damaged file of a few
// hundred bytes can make it allocate gigabytes. No single buffer that audio
// needs comes near this; a larger request fails as out of memory instead.
constexpr std::size_t kMaxAllocation = std::size_t(256) << 20;
void limitAllocations();

// A path as an FFmpeg URL that always means the local file, so a file name
// such as "http:x.mp3" is never taken for a network address.
std::string fileUrl(const std::filesystem::path& path);

}  // namespace twinfold::ffmpeg
