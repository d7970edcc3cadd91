// openFfmpegFile and encodeAudioFile for the programs: they load the FFmpeg
// module on first use (see FfmpegModule.h). Builds that compile the module's
// sources in (the fuzz targets) call them directly.

#include "audio_io/AudioIOError.h"
#include "audio_io/FfmpegModule.h"
#include "audio_io/FfmpegReader.h"

#include <dlfcn.h>

#include <string>

namespace twinfold {

namespace {

struct LoadedModule {
    ffmpeg_module::OpenFunction open = nullptr;
    ffmpeg_module::EncodeFunction encode = nullptr;
    std::string error;
};

LoadedModule load() {
    LoadedModule module;
#ifdef TWINFOLD_FFMPEG_LINKED
    module.open = [](const std::filesystem::path& path) { return ffmpeg_module::open(path).release(); };
    module.encode = &ffmpeg_module::encode;
#else
    // Never closed: readers made by the module live as long as anyone holds them.
    void* handle = dlopen(ffmpeg_module::fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        module.error = dlerror();
        return module;
    }
    module.open = reinterpret_cast<ffmpeg_module::OpenFunction>(dlsym(handle, ffmpeg_module::openSymbol));
    module.encode = reinterpret_cast<ffmpeg_module::EncodeFunction>(dlsym(handle, ffmpeg_module::encodeSymbol));
    if (!module.open || !module.encode) module.error = std::string(ffmpeg_module::fileName) + " is not Twinfold's";
#endif
    return module;
}

const LoadedModule& loadedModule() {
    static const LoadedModule module = load();
    if (!module.open || !module.encode)
        throw AudioIOError("Compressed audio cannot be read or written: the FFmpeg module did not load (" +
                           module.error + ")");
    return module;
}

}  // namespace

std::unique_ptr<AudioFileReader> openFfmpegFile(const std::filesystem::path& path) {
    return std::unique_ptr<AudioFileReader>(loadedModule().open(path));
}

void encodeAudioFile(const std::filesystem::path& path, const std::vector<std::vector<float>>& planarChannels,
                     int sampleRate, EncodedFormat format) {
    loadedModule().encode(path, planarChannels, sampleRate, format);
}

}  // namespace twinfold
