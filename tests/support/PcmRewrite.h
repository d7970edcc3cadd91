#pragma once

// Changing a PCM file the tests wrote: its samples, or its bytes in place.

#include "support/PcmFixtures.h"

#include <fstream>
#include <functional>

namespace twinfold::test {

namespace fs = std::filesystem;

// Rewrites a PCM file with the samples of its first channel changed by `change`.
inline void rewriteInts(const fs::path& path, PcmEncoding encoding,
                        const std::function<void(std::vector<std::int32_t>&)>& change) {
    auto ints = readStoredInts(path);
    change(ints[0]);
    Channels channels(ints.size());
    for (std::size_t c = 0; c < ints.size(); ++c)
        for (std::int32_t v : ints[c]) channels[c].push_back(v / 2147483648.0);
    writePcm(path, {PcmContainer::wav, encoding, 48000}, channels);
}

// Writes `channels` over the file at `path` in place (same inode), as an
// editor that saves into the existing file does.
inline void overwriteInPlace(const fs::path& path, const PcmFormat& format, const Channels& channels) {
    fs::path fresh = path;
    fresh += ".new";
    writePcm(fresh, format, channels);
    std::ifstream in(fresh, std::ios::binary);
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out << in.rdbuf();
    out.close();
    fs::resize_file(path, fs::file_size(fresh));
    fs::remove(fresh);
}

}  // namespace twinfold::test
