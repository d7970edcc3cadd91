#pragma once

#include "audio_io/AudioFileReader.h"

#include <filesystem>
#include <memory>

namespace twinfold {

// Opens a PCM container (WAV, AIFF, AIFF-C, RF64, …) through libsndfile.
// Throws AudioIOError with libsndfile's message when it cannot.
std::unique_ptr<AudioFileReader> openSndfileFile(const std::filesystem::path& path);

}  // namespace twinfold
