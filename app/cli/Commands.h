#pragma once

// The commands of twinfold-cli. Scan and convert drive the same ScanViewModel as
// the window; each returns the process's exit code. They
// need a running QCoreApplication; they wait in nested event loops.

#include "CommandLine.h"
#include "ExitCode.h"

namespace twinfold {
class SettingsService;
}

namespace twinfold::cli {

// Both read the stored preferences from `settings`, the process's one owner of them.
ExitCode runScan(const ScanCommand& command, SettingsService& settings);
ExitCode runConvert(const ConvertCommand& command, SettingsService& settings);
ExitCode runShow(const ShowCommand& command, SettingsService& settings);
ExitCode runRestore(const RestoreCommand& command);
ExitCode runDemo(const DemoCommand& command);

}  // namespace twinfold::cli
