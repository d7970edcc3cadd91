// Split .L/.R pairs: two mono files that together form one stereo recording.
#include "conversion/AudioConverterService.h"

#include "audio_io/AudioFileReader.h"
#include "conversion/ChannelStreamer.h"
#include "conversion/ConversionSupport.h"
#include "conversion/FileCopy.h"
#include "conversion/OutputFormat.h"
#include "conversion/OutputNaming.h"

namespace twinfold {

namespace fs = std::filesystem;

namespace {

const fs::path& pairRight(const ScanResult& pair) {
    if (!pair.pairedFilePath) throw ConversionError(ConversionError::Case::invalidFormat);
    return *pair.pairedFilePath;
}

// The side that carries the signal: never a silent one, else the selection.
const fs::path& keptSide(const ScanResult& pair, std::optional<ChannelSelection> selection) {
    const int kept = onlyAudibleChannel(pair).value_or(channelIndex(selection.value_or(ChannelSelection::left)));
    return kept == 1 ? pairRight(pair) : pair.fileInfo.path;
}

// A byte copy keeps the input's format, so it is only right when the output
// is named for that format.
bool isRewritten(const fs::path& input, const fs::path& output, std::optional<float> targetdBFS) {
    return targetdBFS || lowerExtension(input) != lowerExtension(output);
}

// A rewritten output is PCM: it must not carry an encoded format's name.
fs::path pcmName(fs::path output) {
    if (isLossyExtension(lowerExtension(output))) output.replace_extension("wav");
    return output;
}

}  // namespace

fs::path AudioConverterService::convertSplitPairToMono(const ScanResult& pair,
                                                       std::optional<ChannelSelection> selection,
                                                       const AppSettings& settings, const ProgressHandler& progress) {
    pairRight(pair);
    const fs::path& input = keptSide(pair, selection);
    const std::optional<float> target = normalizationTarget(settings);
    fs::path output = pairOutputPath(pair, settings);
    if (isRewritten(input, output, target)) output = pcmName(output);
    writePairSide(input, output, target, progress);
    return output;
}

void AudioConverterService::writePairSide(const fs::path& input, const fs::path& output,
                                          std::optional<float> targetdBFS, const ProgressHandler& progress) {
    std::scoped_lock lock(operation_);
    OutputFiles::requireFree({output});
    transferPairSide(input, output, targetdBFS, progress);
}

std::vector<fs::path> AudioConverterService::convertSplitPairToTwo(const ScanResult& pair, const AppSettings& settings,
                                                                   const ProgressHandler& progress) {
    const OutputPair outputs = pairSplitOutputPaths(pair, settings);
    writeBothPairSides(pair.fileInfo.path, pairRight(pair), outputs, normalizationTarget(settings), progress);
    return {outputs.left, outputs.right};
}

void AudioConverterService::writeBothPairSides(const fs::path& left, const fs::path& right, const OutputPair& outputs,
                                               std::optional<float> targetdBFS, const ProgressHandler& progress) {
    std::scoped_lock lock(operation_);
    OutputFiles::requireFree({outputs.left, outputs.right});
    transferPairSide(left, outputs.left, targetdBFS, [&](double f) { report(progress, 0.5 * f); });
    try {
        transferPairSide(right, outputs.right, targetdBFS, [&](double f) { report(progress, 0.5 + 0.5 * f); });
    } catch (...) {
        // A failed or cancelled operation leaves none of its outputs behind.
        std::error_code ignored;
        fs::remove(outputs.left, ignored);
        throw;
    }
}

void AudioConverterService::transferPairSide(const fs::path& input, const fs::path& output,
                                             std::optional<float> targetdBFS, const ProgressHandler& progress) {
    if (isRewritten(input, output, targetdBFS)) {
        writeMonoFiles(input, {{output, 0}}, targetdBFS, 1, progress);
        return;
    }
    OutputFiles::requireFree({output});
    // The copy carries the chunks already.
    copyFileExclusive(input, output, [this] { throwIfCancelled(); });
    report(progress, 1.0);
}

}  // namespace twinfold
