#include "audio_io/FfmpegOutputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twinfold::ffmpeg {
namespace {

constexpr int kBufferSize = 64 * 1024;

// FFmpeg 5.1 declares the written bytes non-const.
int writeAll(void* opaque, std::uint8_t* data, int size) {
    const int fd = *static_cast<int*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, std::size_t(size - done));
        if (written < 0) {
            if (errno == EINTR) continue;
            return AVERROR(errno);
        }
        done += int(written);
    }
    return size;
}

std::int64_t seekFile(void* opaque, std::int64_t offset, int whence) {
    const int fd = *static_cast<int*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? std::int64_t(info.st_size) : AVERROR(errno);
    }
    const off_t result = ::lseek(fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return result < 0 ? AVERROR(errno) : std::int64_t(result);
}

}  // namespace

OutputFile::OutputFile(const std::filesystem::path& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) fail(AVERROR(errno));
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer) io_ = avio_alloc_context(buffer, kBufferSize, 1, &fd_, nullptr, writeAll, seekFile);
    if (!io_) {
        av_free(buffer);
        close();
        std::filesystem::remove(path_);
        fail(AVERROR(ENOMEM));
    }
}

OutputFile::~OutputFile() {
    close();
    if (!committed_) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
}

void OutputFile::commit() {
    avio_flush(io_);
    const int ioError = io_->error;
    const int closed = ::close(fd_);
    const int closeError = errno;
    fd_ = -1;
    check(ioError);
    if (closed != 0) fail(AVERROR(closeError));
    committed_ = true;
}

void OutputFile::close() {
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace twinfold::ffmpeg
