#pragma once

// The three commands of twinfold-cli. Each drives the same ScanViewModel as
// the window (scan and convert) and returns the process's exit code. They
// need a running QCoreApplication; they wait in nested event loops.

#include "CommandLine.h"
#include "ExitCode.h"

namespace twinfold::cli {

ExitCode runScan(const ScanCommand& command);
ExitCode runConvert(const ConvertCommand& command);
ExitCode runDemo(const DemoCommand& command);

}  // namespace twinfold::cli
