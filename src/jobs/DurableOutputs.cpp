#include "jobs/DurableOutputs.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace twinfold {

namespace {

void syncOne(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::filesystem::filesystem_error("cannot sync output", file,
                                                std::error_code(errno, std::generic_category()));
    }
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0) {
        throw std::filesystem::filesystem_error("cannot sync output", file,
                                                std::error_code(error, std::generic_category()));
    }
}

}  // namespace

void makeDurable(const std::vector<std::filesystem::path>& files) {
    for (const auto& file : files) syncOne(file);
    // The new names live in their folders' entries, which need a sync of their own.
    for (const auto& file : files) {
        const int dir = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) continue;
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace twinfold
