#pragma once

#include "records/ScanResult.h"

#include <QJsonObject>

#include <filesystem>
#include <vector>

namespace twinfold {

enum class ReportFormat { csv, json };

// One row (CSV) or object (JSON) per result: the file, its verdict and the
// evidence behind it. Throws std::runtime_error naming `output` when it
// cannot be written; an existing file is replaced only once the new one is
// complete.
void writeReport(const std::vector<ScanResult>& results, ReportFormat format, const std::filesystem::path& output);

// The light evidence of a result as JSON: per-channel levels and, for two
// channels, the pair's relation.
QJsonObject evidenceJson(const ScanResult& result);

}  // namespace twinfold
