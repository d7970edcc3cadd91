#include "conversion/OutputFiles.h"

#include "conversion/ConversionError.h"
#include "conversion/OutputCommit.h"

#include <system_error>

namespace twinfold {

namespace fs = std::filesystem;

OutputFiles::~OutputFiles() {
    if (!finished_) removeAll();
}

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
    const fs::path temporary = temporaryPathFor(path);
    auto writer = createAudioFile(temporary, settings);
    paths_.push_back(path);
    temporaries_.push_back(temporary);
    writers_.push_back(std::move(writer));
    return *writers_.back();
}

void OutputFiles::closeAll() {
    for (auto& writer : writers_) {
        if (writer) writer->close();
    }
    // A closed writer has nothing more to give; letting it go frees its
    // descriptor for the next group of outputs.
    writers_.clear();
}

void OutputFiles::commitAll() {
    writers_.clear();
    try {
        for (; committed_ < paths_.size(); ++committed_) commitTemporary(temporaries_[committed_], paths_[committed_]);
    } catch (...) {
        removeAll();
        throw;
    }
    finished_ = true;
}

void OutputFiles::removeAll() noexcept {
    writers_.clear();  // the writers close their files first
    for (std::size_t k = 0; k < paths_.size(); ++k) {
        std::error_code ec;
        // The named ones were complete, but an operation's outputs come as a whole.
        fs::remove(k < committed_ ? paths_[k] : temporaries_[k], ec);
    }
    paths_.clear();
    temporaries_.clear();
    committed_ = 0;
    finished_ = true;
}

}  // namespace twinfold
