#include "conversion/ConversionError.h"

#include <utility>

namespace twinfold {

namespace {

std::string description(ConversionError::Case c, const std::string& fileName) {
    using Case = ConversionError::Case;
    switch (c) {
    case Case::fileExists: return "Output file already exists: " + fileName;
    case Case::cannotCreateOutput: return "Cannot create output file";
    case Case::readError: return "Error reading audio data";
    case Case::invalidFormat: return "Invalid audio format";
    case Case::cancelled: return "Conversion was cancelled";
    case Case::invalidSuffix: return "The output name suffix must not contain \"/\" or a NUL character";
    }
    return {};
}

}  // namespace

ConversionError::ConversionError(Case c) : ConversionError(c, {}) {}

ConversionError::ConversionError(Case c, std::string fileName)
    : std::runtime_error(description(c, fileName)), case_(c), fileName_(std::move(fileName)) {}

ConversionError ConversionError::fileExists(const std::string& fileName) {
    return ConversionError(Case::fileExists, fileName);
}

}  // namespace twinfold
