#pragma once

// The scan as one JSON document: {"results": [...], "errors": [...], "summary": {...}},
// "errors" listing each file that could not be read, with the reason.

#include "ScanReport.h"

#include <QByteArray>

namespace twinfold::cli {

QByteArray formatScanJson(const ScanReport& report);

}  // namespace twinfold::cli
