#pragma once

// The body of a conversion: the items of a conversion plan in plan order,
// one converter call each, with for every converted result the proof that
// must hold before its originals may go. Plain C++; no Qt.

#include "conversion/ConversionPlan.h"
#include "records/AppSettings.h"
#include "jobs/OutputVerifier.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace twinfold {

class AudioConverterService;

// Everything a conversion needs, fixed when it starts, so that a change of
// settings or options while it runs cannot change what it does halfway
// (nor which originals it may touch).
struct ConversionJob {
    ConversionPlan plan;
    AppSettings settings;
};

// Each planned result's files: the file, followed by the right file of a split pair.
std::vector<std::filesystem::path> originalsOf(const ConversionPlan& plan);

class ConversionRunner {
public:
    // (progress 0…1, current file, 1-based number of the item, total).
    using Progress = std::function<void(double progress, const std::string& file, int completed, int total)>;
    // Called before each converter call with the result it converts.
    using BeforeCall = std::function<void(const ScanResult& result)>;

    ConversionRunner(AudioConverterService& converter, const ConversionJob& job, const std::atomic<bool>& cancelled,
                     Progress progress, BeforeCall beforeCall = {});

    // Runs the plan. False when the task was cancelled before or after a
    // call (stop without a word); converter errors propagate, and so does
    // VerificationError(sourceChanged) for a source that is not the file
    // that was scanned, before anything of it is written.
    bool run();

    // Every file written so far, in plan order, and for each converted
    // result what must hold before its originals may go.
    const std::vector<std::filesystem::path>& outputs() const { return outputs_; }
    const std::vector<SourceProof>& proofs() const { return proofs_; }

private:
    void executeNamingTheFile(const PlannedConversion& item);
    void execute(const PlannedConversion& item);

    AudioConverterService& converter_;
    const ConversionJob& job_;
    const std::atomic<bool>& cancelled_;
    Progress progress_;
    BeforeCall beforeCall_;
    int done_ = 0;
    std::vector<std::filesystem::path> outputs_;
    std::vector<SourceProof> proofs_;
};

}  // namespace twinfold
