#include "TextFormatter.h"

#include "Terminal.h"
#include "presentation/PresentationTexts.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }
// Names as the user may see them on a terminal: control characters escaped.
QString shown(const std::string& name) { return qs(escapedText(name)); }
QString fileName(const fs::path& path) { return shown(path.filename().string()); }
QString from(SettingSource source) { return QString(" (") + sourceName(source) + ")"; }

// The verdict, and for a "pan" that would discard content of its own, by how much.
QString statusText(const ScanResult& r) {
    const std::string difference = r.differenceText();
    return qs(difference.empty() ? r.statusText() : r.statusText() + ", " + difference);
}

QStringList tableRow(const ScanResult& r) {
    const AudioFileInfo& f = r.fileInfo;
    return {shown(f.filename),
            qs(presentation::channelsText(f).english()),
            qs(presentation::bitDepthText(f).english()),
            qs(f.sampleRateText()),
            qs(f.durationText()),
            byteCountText(f.fileSize),
            statusText(r)};
}

// Columns separated by two blanks, each as wide as its widest cell; the
// last one is not padded.
void widen(std::vector<qsizetype>& widths, const QStringList& row) {
    widths.resize(std::max(widths.size(), std::size_t(row.size())));
    for (qsizetype c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
}

QString alignedRow(const std::vector<qsizetype>& widths, const QStringList& row) {
    QString out;
    for (qsizetype c = 0; c < row.size(); ++c) out += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
    return out + '\n';
}

QString alignedTable(const std::vector<QStringList>& rows) {
    std::vector<qsizetype> widths;
    for (const QStringList& row : rows) widen(widths, row);
    QString out;
    for (const QStringList& row : rows) out += alignedRow(widths, row);
    return out;
}

// The window's detail panel of a multichannel file, as text.
QString channelDetails(const ScanResult& r) {
    const MultichannelAnalysis& analysis = *r.multichannelAnalysis;
    QString out = shown(r.fileInfo.filename) + ": Channel Details";
    if (const auto removable = presentation::removableChannelsText(analysis); !removable.pattern.empty())
        out += ", " + qs(removable.english());
    out += '\n';
    std::vector<QStringList> rows;
    for (const ChannelAnalysis& c : analysis.channels)
        rows.push_back({"  " + qs(presentation::channelNumberText(c).english()), qs(c.channelLabel), qs(c.peakText()),
                        qs(presentation::channelPillText(c).english())});
    return out + alignedTable(rows);
}

QString summary(const SummaryFigures& s) {
    // The window's summary bar: some figures only when there is something to count.
    QString out;
    const auto line = [&](const char* title, int value, bool shown) {
        if (shown) out += QString(title) + ": " + QString::number(value) + '\n';
    };
    line("Total Files", s.totalFiles, true);
    line("Unreadable", s.unreadable, s.unreadable > 0);
    line("Dual Mono", s.dualMono + s.pannedMono, true);
    line("Phase Inverted", s.phaseInverted, s.phaseInverted > 0);
    line("Silent Channel", s.silentChannel, s.silentChannel > 0);
    line("No Audio", s.noAudio, s.noAudio > 0);
    line("Multichannel", s.multichannel, s.multichannel > 0);
    line("True Stereo", s.trueStereo, true);
    out += "Potential Savings: " + byteCountText(s.totalPotentialSavings) + '\n';
    return out;
}

QString optionsText(const PlanSummary& plan) {
    const AppSettings& s = plan.settings;
    const SettingSources& from_ = plan.sources;
    QString out = "Suffix: " + shown(s.namingSuffix) + from(from_.suffix) + '\n';
    if (std::any_of(plan.plan.items.begin(), plan.plan.items.end(),
                    [](const PlannedConversion& item) { return item.result.isPannedMono; }))
        out += QString("Pan in file name: ") + (s.includePanInFilename ? "on" : "off") + from(from_.panInName) + '\n';
    out += "Normalize: " +
           (s.normalizationEnabled ? QString::asprintf("to %.1f dBFS", double(s.normalizationTargetdBFS)) : "off") +
           from(from_.normalize) + '\n';
    out += QString::asprintf("Silence threshold: %.1f dBFS", double(s.silenceThresholddBFS)) + from(from_.threshold) +
           '\n';
    if (plan.hasPhaseInverted)
        out +=
            "Phase-inverted files: " + qs(std::string(title(plan.options.phaseFixOption))) + from(from_.phase) + '\n';
    if (plan.hasRemovableChannels)
        out += "Multichannel files: " + qs(std::string(title(plan.options.multichannelOption))) +
               from(from_.multichannel) + '\n';
    out += "Originals: " + qs(std::string(title(s.originalFileHandling))) + from(from_.originals);
    if (s.originalFileHandling == OriginalFileHandling::moveToBackup) {
        out += plan.scannedFolder ? " (a \"Twinfold Backup\" folder in " + shown(plan.scannedFolder->string()) + ")"
                                  : QString(" (none will be moved: the files do not come from one folder)");
    }
    out += '\n';
    if (plan.hasLossySources)
        out +=
            "Note: MP3/M4A will be converted to WAV. Twinfold converts lossy files to WAV to preserve quality. "
            "Re-encoding causes further degradation.\n";
    return out;
}

}  // namespace

QString byteCountText(std::int64_t bytes) {
    return qs(presentation::byteCountText(bytes, QLocale().decimalPoint().toStdString()));
}

// Row by row, each row's texts made once to measure and once to write: a
// library of 100,000 files never has its whole table in memory.
void writeScanText(const ScanReport& report, std::ostream& out) {
    if (report.results.empty() && report.unreadable.empty()) {
        out << "No audio files found.\n";
        return;
    }
    if (!report.results.empty()) {
        const QStringList header{"Filename", "Channels", "Bit Depth", "Sample Rate", "Duration", "Size", "Status"};
        std::vector<qsizetype> widths;
        widen(widths, header);
        for (const ScanResult& r : report.results) widen(widths, tableRow(r));
        out << alignedRow(widths, header).toStdString();
        for (const ScanResult& r : report.results) out << alignedRow(widths, tableRow(r)).toStdString();
        for (const ScanResult& r : report.results) {
            if (r.multichannelAnalysis) out << ('\n' + channelDetails(r)).toStdString();
        }
        out << '\n';
    }
    out << summary(report.summary).toStdString();
}

std::vector<std::string> scanNotices(const ScanReport& report) {
    // Paths byte for byte, like the list of outputs.
    std::vector<std::string> notices;
    for (const ScanResult& r : report.unreadable)
        notices.push_back("skipped " + escapedText(r.fileInfo.path.string()) + ": " + unreadableReasonText(r));
    for (const ScanResult& r : report.results) {
        if (r.pairingNote) notices.push_back("note: " + escapedText(r.fileInfo.path.string()) + ": " + *r.pairingNote);
    }
    return notices;
}

std::string formatPlanText(const PlanSummary& plan) {
    QString out = "Files to convert (" + QString::number(plan.fileCount()) + "):\n";
    for (const PlannedConversion& item : plan.plan.items) {
        QStringList outputs;
        for (const PlannedOutput& output : item.outputs) outputs << fileName(output.path);
        out += "  " + shown(item.result.fileInfo.filename) + " (" + qs(item.result.statusText()) + ") -> " +
               outputs.join(", ") + '\n';
    }
    const std::vector<PlannedClash> clashes = plan.plan.clashes();
    if (!clashes.empty()) {
        out += "\nOutputs that cannot be written (" + QString::number(clashes.size()) + "):\n";
        for (const PlannedClash& clash : clashes) out += "  " + shown(clash.text()) + '\n';
    }
    out += '\n' + optionsText(plan);
    return out.toStdString();
}

std::string formatOutputsText(const std::vector<fs::path>& outputs) {
    // Paths byte for byte but for control characters, so that a name that
    // is not UTF-8 can still be copied.
    std::string out = "Converted " + std::to_string(outputs.size()) + " files:\n";
    for (const fs::path& p : outputs) out += "  " + escapedText(p.string()) + '\n';
    return out;
}

}  // namespace twinfold::cli
