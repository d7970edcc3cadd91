#pragma once

// The body of a conversion: the selected results in their fixed group order,
// one converter call per file (one batch call for all dual-mono files), with
// a record of where every output's samples came from. Plain C++; no Qt.

#include "records/AppSettings.h"
#include "records/ScanResult.h"
#include "workflow/ConversionOptions.h"
#include "workflow/OutputVerifier.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace twinfold {

class AudioConverterService;

// Everything a conversion needs, fixed when it starts, so that a change of
// settings or options while it runs cannot change what it does halfway
// (nor which originals it may touch).
struct ConversionJob {
    std::vector<ScanResult> results;
    AppSettings settings;
    PhaseFixOption phaseFixOption = PhaseFixOption::useLeft;
    MultichannelConversionOption multichannelOption = MultichannelConversionOption::splitAllToMono;
};

// The results to convert by kind, each in the order of the list given.
// Multichannel first, then split pairs, then the four stereo kinds; a result
// is in at most one group.
struct ConversionGroups {
    std::vector<ScanResult> dualMono;
    std::vector<ScanResult> pannedMono;
    std::vector<ScanResult> silentChannel;
    std::vector<ScanResult> phaseInverted;
    std::vector<ScanResult> splitPairs;
    std::vector<ScanResult> multichannel;

    int total() const;
};
ConversionGroups groupForConversion(const std::vector<ScanResult>& results);

// Each result's file, followed by the right file of a split pair.
std::vector<std::filesystem::path> originalsOf(const std::vector<ScanResult>& results);

// The normalisation target the settings ask for, if any.
std::optional<float> normalizationTarget(const AppSettings& settings);

class ConversionRunner {
public:
    // (progress 0…1, current file, 1-based number of the item, total).
    using Progress = std::function<void(double progress, const std::string& file, int completed, int total)>;
    // Called before each converter call with the (first) result it converts.
    using BeforeCall = std::function<void(const ScanResult& result)>;

    ConversionRunner(AudioConverterService& converter, const ConversionJob& job, const std::atomic<bool>& cancelled,
                     Progress progress, BeforeCall beforeCall = {});

    // Runs the calls in plan order. False when the task was cancelled before
    // or after a call (stop without a word); converter errors propagate.
    bool run();

    // Every file written so far, in plan order, and for each converted
    // result what must hold before its originals may go.
    const std::vector<std::filesystem::path>& outputs() const { return outputs_; }
    const std::vector<SourceProof>& proofs() const { return proofs_; }

private:
    bool runDualMono(const std::vector<ScanResult>& group);
    template <typename Convert>
    bool eachResult(const std::vector<ScanResult>& group, Convert convert);
    bool startCall(const ScanResult& result);

    void convertPanned(const ScanResult& result);
    void convertKeepingChannel(const ScanResult& result, ChannelSelection channel, Redundancy otherSide);
    void convertPhaseInverted(const ScanResult& result);
    void convertSplitPair(const ScanResult& result);
    void convertMultichannel(const ScanResult& result);

    // Starts the proof of `result` (its files as scanned); outputs and
    // dropped channels are added to the proof returned.
    SourceProof& prove(const ScanResult& result);
    void written(SourceProof& proof, const std::filesystem::path& output, std::vector<int> channels,
                 std::optional<float> target);
    std::function<void(double)> fileProgress(const ScanResult& result);

    AudioConverterService& converter_;
    const ConversionJob& job_;
    const std::atomic<bool>& cancelled_;
    Progress progress_;
    BeforeCall beforeCall_;
    std::optional<float> target_;
    int total_ = 0;
    int done_ = 0;
    std::vector<std::filesystem::path> outputs_;
    std::vector<SourceProof> proofs_;
};

}  // namespace twinfold
