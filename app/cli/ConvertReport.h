#pragma once

// What a conversion from the command line did, for scripts and for the
// record: `convert --json` prints the plan and the outcome as one JSON
// document, `--log FILE` appends a plain-text account of each conversion.

#include "ConversionPlan.h"
#include "jobs/OriginalFiles.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace twinfold::cli {

struct ConversionRecord {
    std::vector<std::filesystem::path> outputs;  // written, in order
    std::vector<HandledOriginal> originals;
    std::vector<std::string> problems;  // originals not handled as asked
    std::int64_t savedBytes = 0;
    std::optional<std::string> failure;  // why the conversion did not complete
};

// {"schemaVersion": 1, "dryRun": …, "plan": {"settings": …, "items": […]},
//  "outcome": null or {"completed", "outputs": [{"path", "sources"}],
//  "originals": [{"path", "fate", "movedTo"}], "problems", "savedBytes", "error"}}
QByteArray formatConvertJson(const PlanSummary& plan, bool dryRun, const std::optional<ConversionRecord>& record);

// A block of lines: when, each output and its sources, each original's
// fate, each problem; paths byte for byte but for control characters,
// which are escaped so that every record stays on its lines.
std::string formatConversionLog(const PlanSummary& plan, const ConversionRecord& record, const QDateTime& when);

}  // namespace twinfold::cli
