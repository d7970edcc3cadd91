#include "scanning/EvidenceLoader.h"

#include <stdexcept>

namespace twinfold {

std::optional<EvidencePictures> loadEvidencePictures(const ScanResult&) {
    throw std::logic_error("loadEvidencePictures: not yet available");
}

}  // namespace twinfold
