#pragma once

#include "ui/SaveFileChooser.h"

#include <filesystem>
#include <optional>
#include <vector>

class QWidget;

namespace twinfold {

struct ScanResult;

// "Export Report…": asks where (CSV or JSON, by the name's extension, CSV
// when it has neither) and writes every result there. Returns the file
// written; a failure is shown over `window`, naming the file.
std::optional<std::filesystem::path> exportReport(QWidget* window, const std::vector<ScanResult>& results,
                                                  const std::filesystem::path& folder, const SaveFileChooser& choose);

}  // namespace twinfold
