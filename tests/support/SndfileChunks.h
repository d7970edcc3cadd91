#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace twinfold::test {

// Every chunk with this four-character id, in file order, as libsndfile's
// own chunk iterator finds them: a reader independent of ours.
std::vector<std::vector<std::uint8_t>> sndfileChunks(const std::filesystem::path& path, const std::string& id);

}  // namespace twinfold::test
