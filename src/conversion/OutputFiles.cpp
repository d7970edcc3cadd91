#include "conversion/OutputFiles.h"

#include "conversion/ConversionError.h"

#include <system_error>

namespace twinfold {

namespace fs = std::filesystem;

void OutputFiles::requireFree(const std::vector<fs::path>& paths) {
    for (const auto& path : paths) {
        std::error_code ec;
        // A dangling symbolic link counts as taken: creating through it would
        // write somewhere else.
        if (fs::exists(fs::symlink_status(path, ec))) {
            throw ConversionError::fileExists(path.filename().string());
        }
    }
}

AudioFileWriter& OutputFiles::create(const fs::path& path, const WriterSettings& settings) {
    auto writer = createAudioFile(path, settings);
    paths_.push_back(path);
    writers_.push_back(std::move(writer));
    return *writers_.back();
}

void OutputFiles::closeAll() {
    for (auto& writer : writers_) {
        if (writer) writer->close();
    }
}

void OutputFiles::removeAll() noexcept {
    writers_.clear();
    for (const auto& path : paths_) {
        std::error_code ec;
        fs::remove(path, ec);  // a file already gone counts as removed
        if (ec) break;
    }
    paths_.clear();
}

}  // namespace twinfold
