#pragma once

#include "audio_io/AudioFileReader.h"

#include <filesystem>
#include <memory>

namespace twinfold {

// Opens a compressed file (MP3, M4A with AAC or ALAC, raw AAC) through FFmpeg.
// Throws AudioIOError with FFmpeg's message when it cannot.
std::unique_ptr<AudioFileReader> openFfmpegFile(const std::filesystem::path& path);

}  // namespace twinfold
