#pragma once

#include "jobs/OriginalFiles.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace twinfold {

// Where the scan of the view model stands. A small tagged value: the case
// and the payload that belongs to it; the other members stay empty, so two
// states are equal exactly when case and payload are.
struct ScanState {
    enum class Case { idle, scanning, completed, failed };

    Case kind = Case::idle;
    double progress = 0;      // scanning: 0…1
    std::string currentFile;  // scanning: a status line or the file just analysed
    std::string message;      // failed
    // scanning, once the analysis runs: files (or pairs) done and in all,
    // bytes read per second of the scan, and the seconds it expects to take
    // still (negative while unknown).
    std::size_t filesDone = 0;
    std::size_t filesTotal = 0;
    double bytesPerSecond = 0;
    double secondsLeft = -1;

    static ScanState idle() { return {}; }
    static ScanState scanning(double progress, std::string currentFile) {
        return {Case::scanning, progress, std::move(currentFile), {}};
    }
    static ScanState completed() { return {Case::completed, 0, {}, {}}; }
    static ScanState failed(std::string message) { return {Case::failed, 0, {}, std::move(message)}; }

    bool isScanning() const { return kind == Case::scanning; }
    bool operator==(const ScanState&) const = default;
};

// Where the conversion stands; the same kind of value as ScanState.
struct ConversionState {
    enum class Case { idle, converting, completed, failed };

    Case kind = Case::idle;
    double progress = 0;                             // converting: 0…1
    std::string currentFile;                         // converting
    int completed = 0;                               // converting: 1-based number of the item being worked on
    int total = 0;                                   // converting
    std::vector<std::filesystem::path> outputPaths;  // completed: every file written, in plan order
    std::string message;                             // failed

    static ConversionState idle() { return {}; }
    static ConversionState converting(double progress, std::string currentFile, int completed, int total) {
        return {Case::converting, progress, std::move(currentFile), completed, total, {}, {}};
    }
    static ConversionState completedWith(std::vector<std::filesystem::path> outputs) {
        return {Case::completed, 0, {}, 0, 0, std::move(outputs), {}};
    }
    static ConversionState failed(std::string message) { return {Case::failed, 0, {}, 0, 0, {}, std::move(message)}; }

    bool isConverting() const { return kind == Case::converting; }
    bool operator==(const ConversionState&) const = default;
};

// What the last conversion did, kept for the user to see after the rescan
// that follows it: how many files were written, what they saved, and every
// original that was not handled as asked ("Failed to move Take.wav: File
// exists"), so that no problem is only printed.
struct ConversionOutcome {
    std::size_t outputCount = 0;
    std::int64_t savedBytes = 0;  // the converted originals' sizes minus the outputs'
    std::vector<std::string> problems;
    std::vector<HandledOriginal> originals;  // what became of each original, in conversion order

    bool operator==(const ConversionOutcome&) const = default;
};

}  // namespace twinfold
