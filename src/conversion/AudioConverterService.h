#pragma once

#include "audio_io/AudioFileWriter.h"
#include "audio_io/AudioFormat.h"
#include "conversion/AudioMetadataService.h"
#include "conversion/ConversionError.h"
#include "conversion/OutputNaming.h"
#include "records/AppSettings.h"
#include "records/ScanResult.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace twinfold {

class AudioFileReader;
class OutputFiles;
struct ChannelRoute;
struct StreamHooks;

// Fraction of the current file done, 0…1. Called on the converter's thread;
// it must not block.
using ProgressHandler = std::function<void(double)>;
// Files started so far (index + 1), the total, the file's name and the
// overall fraction (index + file fraction) / total.
using ConversionBatchProgress =
    std::function<void(int started, int total, const std::string& filename, double overall)>;

// Writes mono (or reduced multichannel) files from classified sources. Every
// output holds exact copies of source channels, never a mix: integer PCM is
// copied as integers, so 8/16/24/32-bit samples come out bit for bit; only a
// normalisation gain changes them. Outputs are integer PCM at the source's rate
// (see outputSettings), float only for a float source beyond full scale, in
// the source's container, and get the source's metadata chunks.
//
// Operations are synchronous and run one at a time per instance (callers on
// other threads wait). Each checks the cancel flag before every chunk of
// `chunkSize` frames; cancel() may be called from any thread, including from
// a progress handler. A cancelled operation deletes the outputs it created and
// throws ConversionError::cancelled; the flag stays set, so every later
// operation fails the same way until clearCancelled().
//
// Nothing existing is ever replaced: each output path is checked first
// (fileExists), written under a hidden temporary name and renamed without
// replacing once complete (see OutputCommit.h). An operation's outputs
// appear whole or not at all: any failure removes what it wrote.
//
// Frame counts are 64-bit: a source longer than 2^32 − 1 frames is converted
// whole. Writing a chunk overlaps reading the next one (on a second thread)
// when the buffers fit the memory budget, so progress reports trail the reads
// by one chunk. The peak pass before a normalised output reads the two halves
// of a long PCM source at once, each on its own thread with its own handle.
class AudioConverterService {
public:
    // Short enough that the buffers of a chunk, written into fresh memory
    // for every conversion, cost few page faults and stay in the cache.
    static constexpr std::uint32_t chunkSize = 1u << 17;

    // Writes channel `channel` of a stereo (or wider) source to `output`,
    // peak-normalised to `targetdBFS` when given. Progress: 0.5 after the peak
    // pass when normalising, then rising by half the written fraction, then 1.0.
    std::filesystem::path convertToMono(const std::filesystem::path& source, const std::filesystem::path& output,
                                        ChannelSelection channel, std::optional<float> targetdBFS = {},
                                        const ProgressHandler& progress = {});

    // Channel 0 to `left`, channel 1 to `right`, each with its own gain.
    void splitToTwoMono(const std::filesystem::path& source, const std::filesystem::path& left,
                        const std::filesystem::path& right, std::optional<float> targetdBFS = {},
                        const ProgressHandler& progress = {});

    // The left channel of each result to outputPath(file, settings), normalised
    // when the settings say so. Clears the cancel flag first; the first failure
    // ends the batch. Returns the outputs in the order of the results.
    std::vector<std::filesystem::path> convertFiles(const std::vector<ScanResult>& results, const AppSettings& settings,
                                                    const ConversionBatchProgress& progress = {});

    // A peak-normalised copy of channel 0 of `input` (normally a mono file).
    std::filesystem::path normalizedCopy(const std::filesystem::path& input, const std::filesystem::path& output,
                                         float targetdBFS, const ProgressHandler& progress = {});

    // One mono file per listed channel (all channels when absent), named by
    // channelFilePath, in list order. An index out of range or listed twice is
    // invalidFormat before anything is written.
    std::vector<std::filesystem::path> splitAllChannels(const std::filesystem::path& source,
                                                        const std::optional<std::vector<int>>& channels,
                                                        const AppSettings& settings,
                                                        const ProgressHandler& progress = {});

    // A file of the kept channels, in the order given; one kept channel gives
    // an ordinary mono file. An empty list or an index out of range is
    // invalidFormat before anything is written.
    void removeRedundantChannels(const std::filesystem::path& source, const std::filesystem::path& output,
                                 const std::vector<int>& keep, const ProgressHandler& progress = {});

    // Channel channels[k] of `source` to paths[k], one mono file each. An
    // index out of range or listed twice, or a list of names of another
    // length, is invalidFormat before anything is written.
    void splitChannels(const std::filesystem::path& source, const std::vector<int>& channels,
                       const std::vector<std::filesystem::path>& paths, const ProgressHandler& progress = {});

    // One side of a split pair to `output`: a byte copy when the output
    // keeps the side's format and no target is given, a PCM rewrite
    // (normalised when a target is given) otherwise.
    void writePairSide(const std::filesystem::path& input, const std::filesystem::path& output,
                       std::optional<float> targetdBFS, const ProgressHandler& progress = {});

    // Both sides of a split pair to their outputs, each as writePairSide; a
    // failure of the second removes the first.
    void writeBothPairSides(const std::filesystem::path& left, const std::filesystem::path& right,
                            const OutputPair& outputs, std::optional<float> targetdBFS,
                            const ProgressHandler& progress = {});

    // A split .L/.R pair reduced to one file (pairOutputPath): a byte copy of
    // the kept side, or a normalised rewrite when normalisation is on. A lossy
    // side that must be rewritten becomes a 24-bit .wav file instead.
    std::filesystem::path convertSplitPairToMono(const ScanResult& pair, std::optional<ChannelSelection> selection,
                                                 const AppSettings& settings, const ProgressHandler& progress = {});

    // Both sides of a split pair under pairSplitOutputPaths. A side whose
    // output extension differs from its own (a lossy pair, whose outputs are
    // .wav) is decoded to PCM rather than copied.
    std::vector<std::filesystem::path> convertSplitPairToTwo(const ScanResult& pair, const AppSettings& settings,
                                                             const ProgressHandler& progress = {});

    void cancel() { cancelled_ = true; }
    void clearCancelled() { cancelled_ = false; }
    bool isCancelled() const { return cancelled_; }

    // Writer settings for an output of `channelCount` channels at the rate of
    // `format`: integer PCM at the source's stored depth (see OutputFormat.h
    // for the depth rule), in the container of the source's content
    // (format.container: AIFF content under a .wav name stays AIFF); where
    // that is unknown, the output's extension decides; 24-bit WAV for a
    // lossy source.
    WriterSettings outputSettings(const std::filesystem::path& source, const AudioFormatInfo& format,
                                  int channelCount) const;

    const AudioMetadataService& metadataService() const { return metadata_; }

private:
    // outputSettings for the open source: a source that does not store
    // linear PCM (µ-law, A-law, ADPCM in a WAV) decodes to more bits than it
    // stores, so its output is never narrower than 24 bits. A float source
    // any of whose `copied` channels (those written unscaled) goes beyond
    // full scale is written as float at its own width, sample for sample;
    // finding that out reads those channels once (the reader is put back).
    WriterSettings settingsFor(const std::filesystem::path& source, AudioFileReader& reader, int channelCount,
                               const std::vector<int>& copied) const;

    // One mono output: which source channel goes where.
    struct MonoTarget {
        std::filesystem::path path;
        int channel = 0;
    };

    void writeMonoFiles(const std::filesystem::path& source, const std::vector<MonoTarget>& targets,
                        std::optional<float> targetdBFS, int minChannels, const ProgressHandler& progress);
    std::vector<std::optional<float>> gainsFor(AudioFileReader& reader, const std::filesystem::path& source,
                                               const std::vector<MonoTarget>& targets, std::optional<float> targetdBFS,
                                               const ProgressHandler& progress);
    // Streams the routes into `outputs`, then closes them, copies the
    // source's chunks in and gives them their final names. Progress is
    // reported as base + scale × fraction.
    void streamAndFinish(AudioFileReader& reader, const std::filesystem::path& source, OutputFiles& outputs,
                         const std::vector<ChannelRoute>& routes, double base, double scale,
                         const ProgressHandler& progress);
    // The same without the chunks and names, for one group of outputs of
    // several; streamAndFinish for the last group finishes them all.
    void streamGroup(AudioFileReader& reader, OutputFiles& outputs, const std::vector<ChannelRoute>& routes,
                     double base, double scale, const ProgressHandler& progress);
    StreamHooks hooks(std::function<void(double)> afterChunk = {}) const;
    void throwIfCancelled() const;
    // One side of a split pair to `output`: a byte copy when the format is
    // kept, a PCM rewrite (normalised when a target is given) otherwise.
    void transferPairSide(const std::filesystem::path& input, const std::filesystem::path& output,
                          std::optional<float> targetdBFS, const ProgressHandler& progress);
    void copyChunks(const std::filesystem::path& source, const OutputFiles& outputs) const;

    std::atomic<bool> cancelled_ = false;
    AudioMetadataService metadata_;
    std::recursive_mutex operation_;
};

}  // namespace twinfold
