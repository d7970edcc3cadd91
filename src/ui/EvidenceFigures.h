#pragma once

#include "records/ScanResult.h"

#include <QString>

#include <vector>

namespace twinfold {

// The numbers behind a verdict as the details panel lists them.
struct FigureRow {
    QString label;
    QString value;
};

// "L", or "Ch 3 · C" for a file of three or more channels, followed by
// the recorder's name for the track when it gave one: "Ch 1 · L · Kick".
QString channelTitle(const ScanResult& result, int index);

// One row per channel (peak, RMS, DC), then, for two channels, how they
// relate: correlation, the largest difference and where it starts, the
// largest sum, the pan gain and what a pan leaves over.
std::vector<FigureRow> evidenceFigures(const ScanResult& result);

// "−6.0 dBFS", "−∞ dBFS" for nothing at all; `unit` follows the number.
QString decibelText(double dB, const QString& unit);

}  // namespace twinfold
