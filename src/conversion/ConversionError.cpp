#include "conversion/ConversionError.h"

#include <utility>

namespace twinfold {

namespace {

std::string description(ConversionError::Case c, const std::string& fileName, const std::string& reason) {
    using Case = ConversionError::Case;
    switch (c) {
    case Case::fileExists: return "Output file already exists: " + fileName;
    case Case::cannotCreateOutput:
        if (fileName.empty()) return "Cannot create output file";
        return "Cannot create output file " + fileName + (reason.empty() ? "" : ": " + reason);
    case Case::readError: return "Error reading audio data";
    case Case::invalidFormat: return "Invalid audio format";
    case Case::cancelled: return "Conversion was cancelled";
    case Case::invalidSuffix: return "The output name suffix must not contain \"/\" or a NUL character";
    }
    return {};
}

}  // namespace

ConversionError::ConversionError(Case c) : ConversionError(c, {}) {}

ConversionError::ConversionError(Case c, std::string fileName, const std::string& reason)
    : std::runtime_error(description(c, fileName, reason)), case_(c), fileName_(std::move(fileName)) {}

ConversionError ConversionError::fileExists(const std::string& fileName) {
    return ConversionError(Case::fileExists, fileName);
}

ConversionError ConversionError::cannotCreate(const std::string& fileName, const std::string& reason) {
    return ConversionError(Case::cannotCreateOutput, fileName, reason);
}

}  // namespace twinfold
