// The entry points of twinfold-ffmpeg.so, with C names the loader can look up.
// Exceptions pass through them: the module and the programs are built together.

#include "audio_io/FfmpegModule.h"

using namespace twinfold;

extern "C" {

AudioFileReader* twinfold_ffmpeg_open(const std::filesystem::path& path) { return ffmpeg_module::open(path).release(); }

void twinfold_ffmpeg_encode(const std::filesystem::path& path, const std::vector<std::vector<float>>& planarChannels,
                            int sampleRate, EncodedFormat format) {
    ffmpeg_module::encode(path, planarChannels, sampleRate, format);
}
}

// The signatures the loader assumes.
static_assert(std::is_same_v<decltype(&twinfold_ffmpeg_open), ffmpeg_module::OpenFunction>);
static_assert(std::is_same_v<decltype(&twinfold_ffmpeg_encode), ffmpeg_module::EncodeFunction>);
