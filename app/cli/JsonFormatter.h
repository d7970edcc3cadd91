#pragma once

// The scan as one JSON document: {"schemaVersion": 1, "results": [...],
// "errors": [...], "summary": {...}}, "errors" listing each file that could
// not be read, with the reason. Each display text has a stable identifier
// beside it ("status" for "statusText", "channel" for "channelLabel",
// "pannedMonoLouderSide" for "pannedMonoLouderChannel", "format" for
// "sourceFormatID"); a path that is not UTF-8 has its bytes in "pathBytes".
// Each readable result has its "evidence" (levels, the pair's relation).

#include "ScanReport.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <ostream>

namespace twinfold::cli {

// Raised only when a member changes meaning or goes; members are only added.
inline constexpr int kSchemaVersion = 1;

void writeScanJson(const ScanReport& report, std::ostream& out);
QJsonObject scanResultJson(const ScanResult& result);
// One line of `scan --jsonl`: the result as in "results" with
// "schemaVersion", or for a file that could not be read {"schemaVersion",
// "path", "error"}; compact, ending in a newline.
QByteArray scanResultJsonLine(const ScanResult& result);
// "pcm", "mp3", "aac", "alac": the source's encoding as a stable identifier.
QString formatID(std::uint32_t sourceFormatID);

}  // namespace twinfold::cli
