#include "ui/ReportExport.h"

#include "workflow/ResultReport.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <exception>

namespace twinfold {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ReportExport", text); }

ReportFormat formatFor(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".json" ? ReportFormat::json : ReportFormat::csv;
}

}  // namespace

std::optional<std::filesystem::path> exportReport(QWidget* window, const std::vector<ScanResult>& results,
                                                  const std::filesystem::path& folder, const SaveFileChooser& choose) {
    if (!choose) return std::nullopt;
    const SaveFileRequest request{
        tr("Export Report"), {tr("CSV Table (*.csv)"), tr("JSON Document (*.json)")}, folder / "Twinfold Report.csv"};
    const auto path = choose(request);
    if (!path) return std::nullopt;
    try {
        writeReport(results, formatFor(*path), *path);
    } catch (const std::exception& error) {
        showFileProblem(window, tr("Could Not Export the Report"),
                        tr("“%1” could not be written: %2")
                            .arg(QString::fromStdString(path->string()), QString::fromStdString(error.what())));
        return std::nullopt;
    }
    return path;
}

}  // namespace twinfold
