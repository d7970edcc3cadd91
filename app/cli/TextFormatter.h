#pragma once

// Plain-text output of twinfold-cli: the results table with the texts of
// the window's table, the summary figures, the conversion plan and the
// list of written files. UTF-8, one trailing newline.

#include "ConversionPlan.h"
#include "ScanReport.h"

#include <QString>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace twinfold::cli {

void writeScanText(const ScanReport& report, std::ostream& out);
// What the user should know about the scan beyond the table, one message a
// line for standard error: every file that could not be read and why
// ("skipped …: reason"), and every file named as one side of a split pair
// but listed on its own ("note: …: why").
std::vector<std::string> scanNotices(const ScanReport& report);
std::string formatPlanText(const PlanSummary& plan);
std::string formatOutputsText(const std::vector<std::filesystem::path>& outputs);

// A byte count as the window shows it: decimal units, one fraction digit,
// in the user's locale ("865.2 kB").
QString byteCountText(std::int64_t bytes);

}  // namespace twinfold::cli
