#include "analysis/AnalysisError.h"

namespace twinfold {

AnalysisError::AnalysisError(Case errorCase) : std::runtime_error(description(errorCase)), case_(errorCase) {}

const char* AnalysisError::description(Case errorCase) noexcept {
    switch (errorCase) {
    case Case::notStereo: return "File is not stereo";
    case Case::readError: return "Error reading audio data";
    case Case::cancelled: return "Analysis was cancelled";
    }
    return "";
}

}  // namespace twinfold
