#include "audio_io/FileIdentityOf.h"

#include <sys/stat.h>

namespace twinfold {

FileIdentity currentFileIdentity(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    FileIdentity identity;
    identity.device = std::uint64_t(st.st_dev);
    identity.inode = std::uint64_t(st.st_ino);
    identity.size = std::int64_t(st.st_size);
    identity.modifiedNanoseconds = std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return identity;
}

}  // namespace twinfold
