#include "conversion/AudioConverterService.h"

#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioIOError.h"
#include "audio_io/ChunkFile.h"
#include "conversion/ChannelStreamer.h"
#include "conversion/ConversionSupport.h"
#include "conversion/OutputFiles.h"
#include "conversion/OutputFormat.h"
#include "conversion/OutputNaming.h"

#include <algorithm>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// Bits per sample as the source's format chunk states them; 0 for a source
// without chunk structure (compressed audio). A RIFF or AIFF source whose
// chunks cannot be read fails here, before any output is written, rather
// than coming out at a guessed depth without its metadata.
int storedBitsPerSample(const fs::path& source) {
    if (!hasChunkStructure(source)) return 0;
    return ChunkFile::open(source, false)->bitsPerChannel();
}

}  // namespace

// The container follows the content, not the name: an AIFF named .wav stays
// AIFF, so its chunks have a place in the output and every reader that read
// the source reads the output. Only where the content is unknown (compressed
// sources) does the name decide, through the output's extension.
WriterSettings AudioConverterService::outputSettings(const fs::path& source, const AudioFormatInfo& format,
                                                     int channelCount) const {
    const std::string ext = lowerExtension(source);
    const bool lossy = !format.container && isLossyExtension(ext);
    WriterSettings settings;
    settings.sampleRate = format.sampleRate;
    settings.channelCount = channelCount;
    settings.bitDepth = lossy ? 24 : outputBitDepth(storedBitsPerSample(source));
    settings.container = format.container;
    settings.isBigEndian =
        format.container ? *format.container == ContainerType::aiff : !lossy && (ext == "aiff" || ext == "aif");
    return settings;
}

WriterSettings AudioConverterService::settingsFor(const fs::path& source, AudioFileReader& reader, int channelCount,
                                                  const std::vector<int>& copied) const {
    const AudioFormatInfo& format = reader.fileFormat();
    WriterSettings settings = outputSettings(source, format, channelCount);
    if (format.formatID != kFormatLinearPCM) settings.bitDepth = std::max(settings.bitDepth, 24);
    const bool floatSource = format.formatID == kFormatLinearPCM && format.isFloat &&
                             (format.bitsPerChannel == 32 || format.bitsPerChannel == 64);
    if (!floatSource || copied.empty()) return settings;
    // Only float sources pay for this pass: nothing else can exceed full scale.
    const std::int64_t start = reader.position();
    const auto peaks = measurePeaks(reader, copied, hooks(), [&source] { return openAudioFile(source); });
    reader.seek(start);
    const float peak = peaks.empty() ? 0.0f : *std::max_element(peaks.begin(), peaks.end());
    if (keepsFloatSamples(format.bitsPerChannel, peak)) {
        settings.isFloat = true;
        settings.bitDepth = format.bitsPerChannel;
    }
    return settings;
}

fs::path AudioConverterService::convertToMono(const fs::path& source, const fs::path& output, ChannelSelection channel,
                                              std::optional<float> targetdBFS, const ProgressHandler& progress) {
    std::scoped_lock lock(operation_);
    writeMonoFiles(source, {{output, channelIndex(channel)}}, targetdBFS, 2, progress);
    return output;
}

void AudioConverterService::splitToTwoMono(const fs::path& source, const fs::path& left, const fs::path& right,
                                           std::optional<float> targetdBFS, const ProgressHandler& progress) {
    std::scoped_lock lock(operation_);
    writeMonoFiles(source, {{left, 0}, {right, 1}}, targetdBFS, 2, progress);
}

fs::path AudioConverterService::normalizedCopy(const fs::path& input, const fs::path& output, float targetdBFS,
                                               const ProgressHandler& progress) {
    std::scoped_lock lock(operation_);
    writeMonoFiles(input, {{output, 0}}, targetdBFS, 1, progress);
    return output;
}

std::vector<fs::path> AudioConverterService::convertFiles(const std::vector<ScanResult>& results,
                                                          const AppSettings& settings,
                                                          const ConversionBatchProgress& progress) {
    std::scoped_lock lock(operation_);
    clearCancelled();
    const std::optional<float> target = normalizationTarget(settings);
    const int total = int(results.size());
    std::vector<fs::path> outputs;
    for (int i = 0; i < total; ++i) {
        const AudioFileInfo& file = results[std::size_t(i)].fileInfo;
        auto fileProgress = [&](double fraction) {
            if (progress) progress(i + 1, total, file.filename, (i + fraction) / total);
        };
        outputs.push_back(
            convertToMono(file.path, outputPath(file.path, settings), ChannelSelection::left, target, fileProgress));
    }
    return outputs;
}

// The stereo operations and normalizedCopy: check the names, measure the
// peaks when normalising (progress up to 0.5), then copy each target's
// channel in one pass whose progress rises by half its fraction.
void AudioConverterService::writeMonoFiles(const fs::path& source, const std::vector<MonoTarget>& targets,
                                           std::optional<float> targetdBFS, int minChannels,
                                           const ProgressHandler& progress) {
    std::vector<fs::path> paths;
    for (const auto& target : targets) paths.push_back(target.path);
    OutputFiles::requireFree(paths);
    auto reader = openAudioFile(source);
    requireFormat(*reader, minChannels);
    // Normalised outputs are scaled to at most full scale: none is copied.
    std::vector<int> copied;
    for (const auto& target : targets) {
        if (!targetdBFS) copied.push_back(target.channel);
    }
    const WriterSettings settings = settingsFor(source, *reader, 1, copied);
    const auto gains = gainsFor(*reader, source, targets, targetdBFS, progress);
    OutputFiles outputs;
    std::vector<ChannelRoute> routes;
    for (std::size_t k = 0; k < targets.size(); ++k) {
        routes.push_back({&createOutput(outputs, targets[k].path, settings),
                          {targets[k].channel},
                          gains[k],
                          settings.bitDepth,
                          settings.isFloat});
    }
    streamAndFinish(*reader, source, outputs, routes, targetdBFS ? 0.5 : 0.0, 0.5, progress);
}

// One peak pass over every target's channel (the halves of a long PCM file
// on two threads); each output gets its own gain
// and the progress steps of one pass per output (0.5, or 0.25 then 0.5).
std::vector<std::optional<float>> AudioConverterService::gainsFor(AudioFileReader& reader, const fs::path& source,
                                                                  const std::vector<MonoTarget>& targets,
                                                                  std::optional<float> targetdBFS,
                                                                  const ProgressHandler& progress) {
    std::vector<std::optional<float>> gains(targets.size());
    if (!targetdBFS) return gains;
    std::vector<int> channels;
    for (const auto& target : targets) channels.push_back(target.channel);
    const std::int64_t start = reader.position();
    const auto peaks = measurePeaks(reader, channels, hooks(), [&source] { return openAudioFile(source); });
    reader.seek(start);
    for (std::size_t k = 0; k < targets.size(); ++k) {
        gains[k] = normalizationGain(*targetdBFS, peaks[k]);
        report(progress, 0.5 * double(k + 1) / double(targets.size()));
    }
    return gains;
}

void AudioConverterService::streamGroup(AudioFileReader& reader, OutputFiles& outputs,
                                        const std::vector<ChannelRoute>& routes, double base, double scale,
                                        const ProgressHandler& progress) {
    try {
        streamChannels(reader, routes, hooks([&](double fraction) { report(progress, base + scale * fraction); }));
        outputs.closeAll();
    } catch (...) {
        outputs.removeAll();
        throw;
    }
}

void AudioConverterService::streamAndFinish(AudioFileReader& reader, const fs::path& source, OutputFiles& outputs,
                                            const std::vector<ChannelRoute>& routes, double base, double scale,
                                            const ProgressHandler& progress) {
    try {
        streamChannels(reader, routes, hooks([&](double fraction) { report(progress, base + scale * fraction); }));
        outputs.closeAll();
        copyChunks(source, outputs);
        // Only complete files, chunks and all, get their final names.
        outputs.commitAll();
    } catch (...) {
        // A failed or cancelled operation leaves none of its outputs behind.
        outputs.removeAll();
        throw;
    }
    report(progress, 1.0);
}

StreamHooks AudioConverterService::hooks(std::function<void(double)> afterChunk) const {
    StreamHooks hooks;
    hooks.blockFrames = chunkSize;
    hooks.checkCancelled = [this] { throwIfCancelled(); };
    hooks.afterChunk = std::move(afterChunk);
    return hooks;
}

void AudioConverterService::throwIfCancelled() const {
    if (cancelled_) throw ConversionError(ConversionError::Case::cancelled);
}

// Every listed chunk reaches every output, or the operation fails naming the
// chunk and the output: an output without its source's metadata must never
// pass for a finished conversion.
// The chunks go into the temporaries; a failure names the output as the
// user will know it, not its hidden temporary name.
void AudioConverterService::copyChunks(const fs::path& source, const OutputFiles& outputs) const {
    for (std::size_t k = 0; k < outputs.paths().size(); ++k) {
        const fs::path& temporary = outputs.temporaryPaths()[k];
        try {
            metadata_.carryChunks(source, {temporary});
        } catch (const std::exception& error) {
            std::string message = error.what();
            const std::string hidden = temporary.string(), shown = outputs.paths()[k].string();
            for (auto at = message.find(hidden); at != std::string::npos; at = message.find(hidden, at + shown.size()))
                message.replace(at, hidden.size(), shown);
            throw AudioIOError(message);
        }
    }
}

}  // namespace twinfold
