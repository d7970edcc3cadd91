#include "audio_io/PosixFile.h"

#include "audio_io/AudioIOError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace twinfold::detail {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

UniqueFd::~UniqueFd() { close(); }

int UniqueFd::close() {
    if (fd_ < 0) return 0;
    int result = ::close(release());
    return result;
}

int duplicateForLibrary(const UniqueFd& fd) { return ::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0); }

void throwFileError(const std::filesystem::path& path, std::string_view message) {
    throw AudioIOError(path.string() + ": " + std::string(message));
}

void throwErrno(const std::filesystem::path& path, int err) { throwFileError(path, std::strerror(err)); }

UniqueFd openAudioInput(const std::filesystem::path& path) {
    // O_NONBLOCK so that opening a FIFO returns at once; it is refused below.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) throwErrno(path, errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throwErrno(path, errno);
    if (S_ISDIR(info.st_mode)) throwErrno(path, EISDIR);
    if (!S_ISREG(info.st_mode)) throwFileError(path, "not a regular file");
    if (info.st_size == 0) throwFileError(path, "the file is empty");
    int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) throwErrno(path, errno);
    return fd;
}

}  // namespace twinfold::detail
