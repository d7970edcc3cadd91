#pragma once

#include "scanning/ScanError.h"
#include "scanning/SplitStereoPairs.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace twinfold {

// Called after each audio file found: (files found so far, name of that file).
using ScanProgress = std::function<void(std::size_t count, const std::string& name)>;

// Lists the supported audio files under a folder and groups files into split
// stereo pairs. It only reads the file system and never opens audio.
// One listing at a time per instance; cancel() may be called from any thread.
class FileScannerService {
public:
    using ScanError = twinfold::ScanError;

    // Every audio file under `folder`, recursively, sorted by file name.
    // Hidden files and folders and symbolic links are left out; folders that
    // cannot be read are skipped. Throws ScanError.
    //
    // `stop`, when given, is the caller's own cancellation token, tested
    // before the walk and at every entry together with the service's flag.
    // Unlike that flag it is never cleared here, so a caller that cancels
    // just before the listing starts is still heard, whether or not any
    // audio file is ever found.
    std::vector<std::filesystem::path> scanDirectory(const std::filesystem::path& folder,
                                                     const ScanProgress& progress = {},
                                                     const std::atomic<bool>* stop = nullptr);

    static SplitStereoPairResult findSplitStereoPairs(std::vector<std::filesystem::path> paths) {
        return twinfold::findSplitStereoPairs(std::move(paths));
    }

    // Stops a running listing at its next entry. A listing clears the flag
    // when it starts, so a cancel before the call has no effect on it.
    void cancel() noexcept { cancelled_.store(true); }
    bool isCancelled() const noexcept { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
};

// Lower-case extensions (without the dot) of the files the application reads.
const std::vector<std::string>& supportedExtensions();
// Whether a file name's last extension, lower-cased, is a supported one.
bool hasSupportedExtension(std::string_view fileName);

}  // namespace twinfold
