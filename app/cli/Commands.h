#pragma once

// The commands of twinfold-cli. Scan and convert drive the same ScanViewModel as
// the window; each returns the process's exit code. They
// need a running QCoreApplication; they wait in nested event loops.

#include "CommandLine.h"
#include "ExitCode.h"

namespace twinfold::cli {

ExitCode runScan(const ScanCommand& command);
ExitCode runConvert(const ConvertCommand& command);
ExitCode runShow(const ShowCommand& command);
ExitCode runRestore(const RestoreCommand& command);
ExitCode runDemo(const DemoCommand& command);

}  // namespace twinfold::cli
