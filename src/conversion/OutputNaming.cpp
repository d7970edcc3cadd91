#include "conversion/OutputNaming.h"

#include "conversion/ConversionError.h"
#include "records/ChannelAnalysis.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// The extension as written, without the dot ("" when there is none).
std::string extensionAsWritten(const fs::path& path) {
    std::string ext = path.extension().string();
    return ext.empty() ? ext : ext.substr(1);
}

// Lossy sources are decoded, so their outputs are WAV files.
std::string outputExtension(const fs::path& source) {
    return isLossyExtension(lowerExtension(source)) ? "wav" : extensionAsWritten(source);
}

fs::path named(const fs::path& source, const std::string& base, const AppSettings& settings, std::string_view extra,
               const std::string& extension) {
    if (!isValidNamingSuffix(settings.namingSuffix)) throw ConversionError(ConversionError::Case::invalidSuffix);
    std::string name = base + settings.namingSuffix;
    name.append(extra);
    name += "." + extension;
    return source.parent_path() / name;
}

// The combined name of a split pair (Kick.wav) without its extension.
std::string pairBase(const ScanResult& pair) { return fs::path(pair.fileInfo.filename).stem().string(); }

}  // namespace

bool isValidNamingSuffix(std::string_view suffix) {
    return suffix.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

bool isLossyExtension(std::string_view extension) {
    std::string lower(extension);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return std::find(lossyExtensions.begin(), lossyExtensions.end(), lower) != lossyExtensions.end();
}

std::string panSuffix(int panPercent, std::optional<ChannelSelection> louderChannel) {
    std::string suffix = "_";
    suffix += std::to_string(panPercent);
    suffix += louderChannel == ChannelSelection::right ? 'R' : 'L';
    return suffix;
}

std::string panSuffix(const ScanResult& result) {
    if (!result.pannedMonoPanPercent) return {};
    return panSuffix(*result.pannedMonoPanPercent, result.pannedMonoLouderChannel);
}

fs::path outputPath(const fs::path& source, const AppSettings& settings, std::string_view extra) {
    return named(source, source.stem().string(), settings, extra, outputExtension(source));
}

OutputPair splitOutputPaths(const fs::path& source, const AppSettings& settings) {
    return {outputPath(source, settings, "_L"), outputPath(source, settings, "_R")};
}

fs::path channelFilePath(const fs::path& source, const AppSettings& settings, int channelIndex, int channelCount) {
    std::string label = labelForChannel(channelIndex, channelCount);
    std::string number = std::to_string(channelIndex + 1);
    std::string extra = "_ch" + number + (label == number ? "" : "_" + label);
    return outputPath(source, settings, extra);
}

namespace {

bool fitForFileName(const std::string& name) {
    constexpr std::size_t longest = 64;
    if (name.empty() || name.size() > longest || name.front() == '.' || name.front() == ' ' || name.back() == ' ')
        return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || std::string_view("/\\:*?\"<>|").find(char(c)) != std::string_view::npos)
            return false;
    }
    return true;
}

std::string lowered(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::vector<std::string> usableTrackNames(const ScanResult& result) {
    const auto& channels = result.evidence.channels;
    if (channels.size() < 2 || int(channels.size()) != result.fileInfo.channelCount) return {};
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const ChannelEvidence& c : channels) {
        if (!fitForFileName(c.trackName) || !seen.insert(lowered(c.trackName)).second) return {};
        names.push_back(c.trackName);
    }
    return names;
}

fs::path trackFilePath(const fs::path& source, const AppSettings& settings, const std::string& trackName) {
    return outputPath(source, settings, "_" + trackName);
}

fs::path pairOutputPath(const ScanResult& pair, const AppSettings& settings) {
    const fs::path& left = pair.fileInfo.path;
    return named(left, pairBase(pair), settings, {}, extensionAsWritten(left));
}

OutputPair pairSplitOutputPaths(const ScanResult& pair, const AppSettings& settings) {
    const fs::path& left = pair.fileInfo.path;
    std::string ext = outputExtension(left);
    return {named(left, pairBase(pair), settings, "_L", ext), named(left, pairBase(pair), settings, "_R", ext)};
}

}  // namespace twinfold
