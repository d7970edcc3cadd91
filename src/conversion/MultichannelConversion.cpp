// The operations for files with more channels than a stereo pair: one mono
// file per channel, or one file of the channels worth keeping.
#include "conversion/AudioConverterService.h"

#include "audio_io/AudioFileReader.h"
#include "conversion/ChannelStreamer.h"
#include "conversion/ConversionSupport.h"
#include "conversion/OutputNaming.h"

#include <numeric>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// Outputs written at once by a split: each holds two descriptors (ours and
// the audio library's) while it is written, and a split must stay well under
// 64 open descriptors however many channels it has.
constexpr std::size_t kOutputsAtOnce = 16;

std::vector<int> allChannels(int channelCount) {
    std::vector<int> channels(std::size_t(std::max(channelCount, 0)));
    std::iota(channels.begin(), channels.end(), 0);
    return channels;
}

}  // namespace

std::vector<fs::path> AudioConverterService::splitAllChannels(const fs::path& source,
                                                              const std::optional<std::vector<int>>& channels,
                                                              const AppSettings& settings,
                                                              const ProgressHandler& progress) {
    int channelCount = 0;
    {
        std::scoped_lock lock(operation_);
        channelCount = openAudioFile(source)->channelCount();
    }
    const std::vector<int> listed = channels.value_or(allChannels(channelCount));
    std::vector<fs::path> paths;
    for (int channel : listed) {
        if (channel >= 0 && channel < channelCount)
            paths.push_back(channelFilePath(source, settings, channel, channelCount));
        else
            paths.push_back({});  // refused below, before anything is written
    }
    splitChannels(source, listed, paths, progress);
    return paths;
}

void AudioConverterService::splitChannels(const fs::path& source, const std::vector<int>& channels,
                                          const std::vector<fs::path>& paths, const ProgressHandler& progress) {
    std::scoped_lock lock(operation_);
    if (channels.empty()) return;
    if (paths.size() != channels.size()) throw ConversionError(ConversionError::Case::invalidFormat);
    auto reader = openAudioFile(source);
    requireChannels(channels, reader->channelCount(), true);
    requireFormat(*reader, 1);
    // Every name is checked before the first file is created, so a taken
    // name leaves nothing behind.
    OutputFiles::requireFree(paths);
    const WriterSettings writerSettings = settingsFor(source, *reader, 1, channels);
    OutputFiles outputs;
    // A group of outputs at a time, each group one read of the source, so
    // that a file of a thousand channels needs a few dozen descriptors.
    const std::size_t groups = (channels.size() + kOutputsAtOnce - 1) / kOutputsAtOnce;
    for (std::size_t g = 0; g < groups; ++g) {
        if (g > 0) reader->seek(0);
        std::vector<ChannelRoute> routes;
        for (std::size_t k = g * kOutputsAtOnce; k < std::min(channels.size(), (g + 1) * kOutputsAtOnce); ++k) {
            routes.push_back({&outputs.create(paths[k], writerSettings),
                              {channels[k]},
                              std::nullopt,
                              writerSettings.bitDepth,
                              writerSettings.isFloat});
        }
        const double base = double(g) / double(groups), scale = 1.0 / double(groups);
        if (g + 1 < groups)
            streamGroup(*reader, outputs, routes, base, scale, progress);
        else
            streamAndFinish(*reader, source, outputs, routes, base, scale, progress);
    }
}

void AudioConverterService::removeRedundantChannels(const fs::path& source, const fs::path& output,
                                                    const std::vector<int>& keep, const ProgressHandler& progress) {
    std::scoped_lock lock(operation_);
    OutputFiles::requireFree({output});
    auto reader = openAudioFile(source);
    requireChannels(keep, reader->channelCount(), false);
    requireFormat(*reader, 1);
    const int kept = int(keep.size());
    WriterSettings settings = settingsFor(source, *reader, kept, keep);
    settings.clearSpeakerMask = kept > 1;
    OutputFiles outputs;
    std::vector<ChannelRoute> routes{
        {&createOutput(outputs, output, settings), keep, std::nullopt, settings.bitDepth, settings.isFloat}};
    streamAndFinish(*reader, source, outputs, routes, 0.0, 1.0, progress);
}

}  // namespace twinfold
