#include "audio_io/FfmpegReader.h"

#include "audio_io/AudioIOError.h"

namespace twinfold {

std::unique_ptr<AudioFileReader> openFfmpegFile(const std::filesystem::path& path) {
    throw AudioIOError("Compressed audio is not supported yet: " + path.string());
}

}  // namespace twinfold
