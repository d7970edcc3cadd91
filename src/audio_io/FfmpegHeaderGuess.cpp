#include "audio_io/FfmpegHeaderGuess.h"

#include <cstring>
#include <fstream>

namespace twinfold::ffmpeg {
namespace {

// An ID3v2 tag: "ID3", version, flags, then its size as four 7-bit bytes,
// not counting the 10-byte header or the optional 10-byte footer.
std::streamoff id3TagLength(const unsigned char (&head)[10]) {
    if (std::memcmp(head, "ID3", 3) != 0) return 0;
    std::streamoff size = 0;
    for (int i = 6; i < 10; ++i) size = (size << 7) | (head[i] & 0x7F);
    const bool hasFooter = head[5] & 0x10;
    return 10 + size + (hasFooter ? 10 : 0);
}

}  // namespace

const AVInputFormat* demuxerFromFrameHeader(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[10] = {};
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return nullptr;
    const std::streamoff start = id3TagLength(head);
    unsigned char sync[2] = {};
    if (!in.seekg(start) || !in.read(reinterpret_cast<char*>(sync), sizeof sync)) return nullptr;
    if (sync[0] != 0xFF || (sync[1] & 0xE0) != 0xE0) return nullptr;
    // Layer bits 00 mark ADTS (with the 12th sync bit set); MPEG audio uses 01 to 11.
    if ((sync[1] & 0x06) == 0) return (sync[1] & 0xF0) == 0xF0 ? av_find_input_format("aac") : nullptr;
    return av_find_input_format("mp3");
}

}  // namespace twinfold::ffmpeg
