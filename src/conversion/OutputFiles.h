#pragma once

#include "audio_io/AudioFileWriter.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace twinfold {

// The outputs one operation writes. Each is written under a hidden
// temporary name (see OutputCommit.h) and all get their final names together
// at the end, so the operation's outputs appear whole or not at all: if it
// fails or is cancelled, or this object goes without commitAll() having
// succeeded, everything it made is removed.
class OutputFiles {
public:
    OutputFiles() = default;
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // Throws ConversionError::fileExists (naming the first taken path, in
    // order) when any of `paths` exists; touches nothing.
    static void requireFree(const std::vector<std::filesystem::path>& paths);

    // Creates a new temporary file for the output `path`, exclusively; the
    // writer's error passes through.
    AudioFileWriter& create(const std::filesystem::path& path, const WriterSettings& settings);

    // Finishes every open file and lets its writer go (its descriptor with
    // it), so that more outputs can be created in groups; a failure to
    // complete one passes through.
    void closeAll();
    // Gives every closed file its final name, in creation order, never
    // replacing anything (a taken name is ConversionError::fileExists). On
    // a failure every output of the operation is removed before it passes
    // through, the ones already named included.
    void commitAll();
    // Closes and deletes every file created, temporary or already named.
    void removeAll() noexcept;

    // The final names, in creation order.
    const std::vector<std::filesystem::path>& paths() const { return paths_; }
    // Where the files are until commitAll().
    const std::vector<std::filesystem::path>& temporaryPaths() const { return temporaries_; }

private:
    std::vector<std::filesystem::path> paths_;
    std::vector<std::filesystem::path> temporaries_;
    std::vector<std::unique_ptr<AudioFileWriter>> writers_;
    std::size_t committed_ = 0;
    bool finished_ = false;
};

}  // namespace twinfold
