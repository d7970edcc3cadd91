// Kept apart from the PCM fixtures: both helper headers name their own
// `Channels` type in the same namespace.
#include "support/CompressedFixtures.h"

namespace twinfold::test {

std::filesystem::path writeDualMonoMp3(const std::filesystem::path& dir, const std::string& name)
{
    return writeCompressed(dir, name, dualMono(44100), EncodedFormat::mp3);
}

}  // namespace twinfold::test
