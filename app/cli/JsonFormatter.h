#pragma once

// The scan as one JSON document: {"results": [...], "summary": {...}}.

#include "ScanReport.h"

#include <QByteArray>

namespace twinfold::cli {

QByteArray formatScanJson(const ScanReport& report);

}  // namespace twinfold::cli
