#pragma once

#include "audio_io/AudioFileWriter.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace twinfold {

// The outputs one operation has created, with their open writers, so that
// a cancelled operation can remove exactly what it made and nothing else.
class OutputFiles {
public:
    // Throws ConversionError::fileExists (naming the first taken path, in
    // order) when any of `paths` exists; touches nothing.
    static void requireFree(const std::vector<std::filesystem::path>& paths);

    // Creates the file exclusively; the writer's error passes through.
    AudioFileWriter& create(const std::filesystem::path& path, const WriterSettings& settings);

    // Finishes every file; a failure to complete one passes through.
    void closeAll();
    // Closes and deletes every file created, in creation order, stopping at
    // the first that cannot be deleted.
    void removeAll() noexcept;

    const std::vector<std::filesystem::path>& paths() const { return paths_; }

private:
    std::vector<std::filesystem::path> paths_;
    std::vector<std::unique_ptr<AudioFileWriter>> writers_;
};

}  // namespace twinfold
