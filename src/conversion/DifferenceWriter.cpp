#include "conversion/DifferenceWriter.h"

#include <stdexcept>

namespace twinfold {

bool hasDifference(const ScanResult&) { return false; }

void writeDifferenceWav(const ScanResult&, const std::filesystem::path& output) {
    throw std::runtime_error(output.string() + ": not yet available");
}

}  // namespace twinfold
