#include "conversion/FileCopy.h"

#include "audio_io/PosixFile.h"
#include "conversion/OutputCommit.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlockBytes = 64u << 20;

[[noreturn]] void fail(const char* what, const fs::path& from, const fs::path& to, int error) {
    throw fs::filesystem_error(what, from, to, std::error_code(error, std::system_category()));
}

// Copies up to `bytes` through user space, for file systems that refuse an
// in-kernel copy. Returns the bytes copied, 0 at the end of the input, −1 on error.
ssize_t copyThroughBuffer(int in, int out, std::size_t bytes) {
    static thread_local std::vector<char> buffer(4u << 20);
    ssize_t got = ::read(in, buffer.data(), std::min(bytes, buffer.size()));
    for (ssize_t written = 0; got > 0 && written < got;) {
        ssize_t n = ::write(out, buffer.data() + written, std::size_t(got - written));
        if (n < 0) return -1;
        written += n;
    }
    return got;
}

ssize_t copyBlock(int in, int out, bool& inKernel) {
    if (inKernel) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kBlockBytes, 0);
        if (n >= 0 || (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)) return n;
        inKernel = false;
    }
    return copyThroughBuffer(in, out, kBlockBytes);
}

}  // namespace

int copyBytes(int in, int out, const std::function<void()>& beforeBlock) {
    bool inKernel = true;
    for (;;) {
        if (beforeBlock) beforeBlock();
        const ssize_t n = copyBlock(in, out, inKernel);
        if (n < 0) return errno;
        if (n == 0) return 0;
    }
}

void copyFileExclusive(const fs::path& from, const fs::path& to, const std::function<void()>& beforeBlock) {
    detail::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (in.get() < 0 || ::fstat(in.get(), &info) != 0) fail("cannot open file", from, to, errno);
    const fs::path temporary = temporaryPathFor(to);
    detail::UniqueFd out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777));
    if (out.get() < 0) fail("cannot create file", from, temporary, errno);
    try {
        if (const int error = copyBytes(in.get(), out.get(), beforeBlock))
            fail("cannot copy file", from, temporary, error);
        if (out.close() != 0) fail("cannot copy file", from, temporary, errno);
    } catch (...) {
        out.close();
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    commitTemporary(temporary, to);
}

}  // namespace twinfold
