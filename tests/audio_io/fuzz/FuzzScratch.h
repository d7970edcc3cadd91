#pragma once

// A scratch file for fuzz targets that must hand their input to code that
// reads files by path.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/mman.h>

namespace twinfold::fuzz {

inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// In memory, as every input is written and read back and a disk would make
// that the bottleneck; nameless, so not even a crash leaves it behind. The
// open descriptor keeps it reachable by its /proc name.
inline const std::filesystem::path& scratchFile() {
    static const std::filesystem::path path = [] {
        const int fd = ::memfd_create("twinfold-fuzz", 0);
        check(fd >= 0, "cannot create a scratch file");
        return std::filesystem::path("/proc/self/fd") / std::to_string(fd);
    }();
    return path;
}

// Replaces the scratch file's contents with the input.
inline const std::filesystem::path& writeScratch(const std::uint8_t* data, std::size_t size) {
    const auto& path = scratchFile();
    FILE* out = std::fopen(path.c_str(), "wb");
    check(out && std::fwrite(data, 1, size, out) == size && std::fclose(out) == 0, "cannot write scratch file");
    return path;
}

}  // namespace twinfold::fuzz
