#include "audio_io/FfmpegSupport.h"

#include "audio_io/AudioIOError.h"

#include <mutex>

namespace twinfold::ffmpeg {

FramePtr makeFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame) fail(AVERROR(ENOMEM));
    return frame;
}

PacketPtr makePacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) fail(AVERROR(ENOMEM));
    return packet;
}

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void fail(int code) { throw AudioIOError(errorText(code)); }

int check(int result) {
    if (result < 0) fail(result);
    return result;
}

void silenceLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

void limitAllocations() {
    static std::once_flag once;
    std::call_once(once, [] { av_max_alloc(kMaxAllocation); });
}

std::string fileUrl(const std::filesystem::path& path) { return "file:" + path.string(); }

}  // namespace twinfold::ffmpeg
