#pragma once

#include "audio_io/FfmpegSupport.h"

#include <filesystem>

namespace twinfold::ffmpeg {

// A new file, created exclusively (an existing file is never replaced),
// presented to FFmpeg's muxers as a seekable I/O context so they can go
// back and complete their headers. Unless committed, the file is removed
// again when the object goes, so a failed encode leaves nothing behind.
class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    AVIOContext* io() const { return io_; }
    // Flushes and closes the file, reporting any write failure, and keeps it.
    void commit();

private:
    void close();

    std::filesystem::path path_;
    int fd_ = -1;
    AVIOContext* io_ = nullptr;
    bool committed_ = false;
};

}  // namespace twinfold::ffmpeg
