#pragma once

#include <filesystem>
#include <string_view>

namespace twinfold::detail {

// Owns a POSIX file descriptor and closes it on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and returns close()'s result (0 or -1 with errno set).
    int close();

private:
    int fd_ = -1;
};

// A second descriptor for the same open file (close-on-exec), for a library
// that closes what it is given. libsndfile 1.2 closes the descriptor of a
// file it fails to open even when told not to; with its own copy, the
// caller's descriptor is closed exactly once, by its owner. -1 with errno
// set on failure.
int duplicateForLibrary(const UniqueFd& fd);

// "<path>: <message>", the form every audio I/O error takes.
[[noreturn]] void throwFileError(const std::filesystem::path& path, std::string_view message);
// The same with strerror(err) as the message.
[[noreturn]] void throwErrno(const std::filesystem::path& path, int err);

// Opens an existing audio file for reading. Fails (AudioIOError) for a
// missing or unreadable path, a directory, anything that is not a regular
// file (a FIFO would block the reader forever) and an empty file.
UniqueFd openAudioInput(const std::filesystem::path& path);

}  // namespace twinfold::detail
