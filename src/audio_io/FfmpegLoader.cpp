// openFfmpegFile and encodeAudioFile for the programs: they load the FFmpeg
// module on first use (see FfmpegModule.h). Builds that compile the module's
// sources in (the fuzz targets) call them directly.

#include "audio_io/AudioIOError.h"
#include "audio_io/FfmpegModule.h"
#include "audio_io/FfmpegReader.h"

#include <dlfcn.h>
#include <link.h>

#include <cstddef>
#include <string>
#include <vector>

namespace twinfold {

namespace {

struct LoadedModule {
    ffmpeg_module::OpenFunction open = nullptr;
    ffmpeg_module::EncodeFunction encode = nullptr;
    std::string error;
};

#ifndef TWINFOLD_FFMPEG_LINKED
// The folders the dynamic linker searches for the program's own libraries,
// its run path among them.
std::vector<std::string> librarySearchFolders() {
    void* program = dlopen(nullptr, RTLD_NOW);
    Dl_serinfo size{};
    if (!program || dlinfo(program, RTLD_DI_SERINFOSIZE, &size) != 0) return {};
    std::vector<std::max_align_t> storage(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<Dl_serinfo*>(storage.data());
    *info = size;
    if (dlinfo(program, RTLD_DI_SERINFO, info) != 0) return {};
    std::vector<std::string> folders;
    for (unsigned i = 0; i < info->dls_cnt; ++i) {
        if (info->dls_serpath[i].dls_name[0] == '/') folders.emplace_back(info->dls_serpath[i].dls_name);
    }
    return folders;
}

// By name, which searches the program's run path. A sanitizer's dlopen
// searches its own instead, so the run path's folders are then tried by hand.
// Null, with the first failure's reason in `error`, when none has the module.
void* openModule(std::string& error) {
    if (void* handle = dlopen(ffmpeg_module::fileName, RTLD_NOW | RTLD_LOCAL)) return handle;
    error = dlerror();
    for (const std::string& folder : librarySearchFolders()) {
        if (void* handle = dlopen((folder + "/" + ffmpeg_module::fileName).c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
    }
    return nullptr;
}
#endif

LoadedModule load() {
    LoadedModule module;
#ifdef TWINFOLD_FFMPEG_LINKED
    module.open = [](const std::filesystem::path& path) { return ffmpeg_module::open(path).release(); };
    module.encode = &ffmpeg_module::encode;
#else
    // Never closed: readers made by the module live as long as anyone holds them.
    void* handle = openModule(module.error);
    if (!handle) return module;
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
