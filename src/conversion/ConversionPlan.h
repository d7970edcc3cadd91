#pragma once

// What a conversion will do, decided once: for each selected result the
// operation, every file it writes and which source channels each carries,
// the channels it drops and why, and anything that stops an output from
// being written (a clash). The runner executes exactly this plan, the
// command line prints it, the proof before originals are touched checks it,
// and the window's dialogs list the files it names.

#include "conversion/ConversionOptions.h"
#include "records/AppSettings.h"
#include "records/ScanResult.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace twinfold {

// Why a channel that no output carries may go: the rule that judged it.
enum class Redundancy {
    identicalTo,     // the same stored samples as `reference`
    invertedCopyOf,  // plus `reference`, silent everywhere
    scaledCopyOf,    // correlates with `reference` as panned mono does, `reference` the louder
    silent,          // never above the scan's silence threshold
};

struct DroppedChannel {
    int channel = 0;
    Redundancy reason = Redundancy::silent;
    int reference = -1;  // unused for `silent`

    bool operator==(const DroppedChannel&) const = default;
};

// "identical to channel 1", "silent", for the plan as printed.
std::string describe(const DroppedChannel& dropped);

enum class PlannedOperation {
    keepOneChannel,     // a stereo file to one mono file
    splitStereo,        // a stereo file to two mono files
    copyPairSide,       // a split pair to one of its sides (copied, or rewritten when normalised or decoded)
    copyBothPairSides,  // a split pair to both sides
    splitAllChannels,   // a multichannel file to one mono file per channel
    removeChannels,     // a multichannel file to a file of the channels worth keeping
};

// One file the conversion writes. Its channels number the source's
// channels; a split pair's left file is channel 0, its right file channel 1.
struct PlannedOutput {
    std::filesystem::path path;
    std::vector<int> sourceChannels;
    std::optional<float> targetdBFS;

    bool operator==(const PlannedOutput&) const = default;
};

// Why an output cannot be written as planned.
enum class ClashKind {
    sharedOutput,      // another selected source maps to the same output
    exists,            // a file (or link) of that name exists
    nameTooLong,       // more than the 255 bytes a file name may have
    overwritesSource,  // the output would be a source file itself (an empty suffix)
};

struct PlannedClash {
    std::filesystem::path output;
    ClashKind kind = ClashKind::exists;

    // "Kick_mono.wav: already exists", naming the output and the reason.
    std::string text() const;
    bool operator==(const PlannedClash&) const = default;
};

struct PlannedConversion {
    ScanResult result;
    PlannedOperation operation = PlannedOperation::keepOneChannel;
    // The source files, as scanned: the file, then a split pair's right file.
    std::vector<std::filesystem::path> files;
    std::vector<PlannedOutput> outputs;
    std::vector<DroppedChannel> dropped;
    std::vector<PlannedClash> clashes;
};

struct ConversionPlan {
    // In conversion order: dual mono, panned mono, silent channel,
    // phase-inverted, split pairs, multichannel; within a kind, as selected.
    std::vector<PlannedConversion> items;

    std::vector<PlannedClash> clashes() const;
    std::size_t outputCount() const;
    // The plan without the items that have a clash.
    ConversionPlan withoutClashes() const;
};

struct PlanOptions {
    PhaseFixOption phaseFixOption = PhaseFixOption::useLeft;
    MultichannelConversionOption multichannelOption = MultichannelConversionOption::splitAllToMono;
};

// The plan for converting the convertible results among `results`. Looks at
// the file system only to find outputs that exist already.
ConversionPlan planConversion(const std::vector<ScanResult>& results, const AppSettings& settings,
                              const PlanOptions& options);

}  // namespace twinfold
