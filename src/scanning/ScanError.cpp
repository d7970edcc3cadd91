#include "scanning/ScanError.h"

namespace twinfold {

ScanError::ScanError(Case errorCase) : std::runtime_error(description(errorCase)), case_(errorCase) {}

const char* ScanError::description(Case errorCase) noexcept {
    switch (errorCase) {
    case Case::invalidDirectory: return "The selected path is not a valid directory";
    case Case::accessDenied: return "Access to the directory was denied";
    case Case::cancelled: return "Scan was cancelled";
    }
    return "";
}

}  // namespace twinfold
