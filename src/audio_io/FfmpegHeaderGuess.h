#pragma once

#include "audio_io/FfmpegSupport.h"

#include <filesystem>

namespace twinfold::ffmpeg {

// FFmpeg's content probe weighs several frames in a row, so a file of one
// or two MPEG audio or ADTS frames can go unrecognised, or be taken for
// something else entirely (even H.263 video). The first frame header after
// any ID3v2 tag names the demuxer for such a file: "mp3" for MPEG audio,
// "aac" for ADTS. Returns nullptr when the file starts with neither.
const AVInputFormat* demuxerFromFrameHeader(const std::filesystem::path& path);

}  // namespace twinfold::ffmpeg
