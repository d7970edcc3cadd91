// Kept apart from the PCM fixtures, whose Channels type differs.
#include "support/CompressedFixtures.h"

#include <filesystem>
#include <string>

namespace twinfold::test {

std::filesystem::path writeDualMonoMp3(const std::filesystem::path& dir, const std::string& name, std::size_t frames) {
    const auto channels = dualMono(frames, 7);
    std::filesystem::path path = writeCompressed(dir, name, channels, EncodedFormat::mp3);
    return path;
}

}  // namespace twinfold::test
