#include "JsonFormatter.h"

#include "audio_io/AudioFormat.h"
#include "records/AudioFileInfo.h"
#include "workflow/PathJson.h"
#include "workflow/ResultReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <map>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

namespace twinfold::cli {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }
QJsonValue orNull(const std::optional<QJsonValue>& value) { return value.value_or(QJsonValue()); }

// A 32-bit level as the double nearest to its shortest decimal form, so
// -6.02f prints as -6.02 rather than -6.019999980926514. Minus infinity
// (a channel that is all zeros) has no JSON form and becomes null.
QJsonValue level(float value) {
    if (!std::isfinite(value)) return QJsonValue();
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double nearest = 0;
    std::from_chars(text, end, nearest);  // locale-independent, unlike stod
    return nearest;
}

const char* silentChannelName(SilentChannelStatus status) {
    switch (status) {
    case SilentChannelStatus::none: return "none";
    case SilentChannelStatus::left: return "left";
    case SilentChannelStatus::right: return "right";
    case SilentChannelStatus::both: return "both";
    }
    return "none";
}

// The verdict as a stable identifier, beside the display text of statusText().
const char* statusID(const ScanResult& r) {
    if (r.unreadableReason) return "unreadable";
    if (const auto& m = r.multichannelAnalysis)
        return !m->channels.empty() && m->silentChannelIndices().size() == m->channels.size() ? "noAudio"
                                                                                              : "multichannel";
    if (r.fileInfo.channelCount < 2) return "mono";
    switch (r.silentChannel) {
    case SilentChannelStatus::left: return "silentLeft";
    case SilentChannelStatus::right: return "silentRight";
    case SilentChannelStatus::both: return "noAudio";
    case SilentChannelStatus::none: break;
    }
    if (r.isPhaseInverted) return "phaseInverted";
    if (r.isDualMono) return "dualMono";
    if (r.isPannedMono) return "pannedMono";
    return "trueStereo";
}

// The channel's role as a stable identifier, beside its display label.
QString channelID(const std::string& label) {
    static const std::map<std::string, const char*> roles{{"Mono", "mono"},
                                                          {"L", "left"},
                                                          {"R", "right"},
                                                          {"C", "center"},
                                                          {"LFE", "lfe"},
                                                          {"Ls", "leftSurround"},
                                                          {"Rs", "rightSurround"},
                                                          {"Lrs", "leftRearSurround"},
                                                          {"Rrs", "rightRearSurround"}};
    if (const auto it = roles.find(label); it != roles.end()) return it->second;
    return "channel" + qs(label);  // numbered channels of other layouts: "channel3"
}

template <typename Container>
QJsonArray intArray(const Container& values) {
    QJsonArray array;
    for (int v : values) array.append(v);
    return array;
}

QJsonValue multichannelJson(const std::optional<MultichannelAnalysis>& analysis) {
    if (!analysis) return QJsonValue();
    QJsonArray channels;
    for (const ChannelAnalysis& c : analysis->channels) {
        channels.append(QJsonObject{{"channelIndex", c.channelIndex},
                                    {"channel", channelID(c.channelLabel)},
                                    {"channelLabel", qs(c.channelLabel)},
                                    {"isSilent", c.isSilent},
                                    {"peakdBFS", level(c.peakdBFS)},
                                    {"identicalToChannels", intArray(c.identicalToChannels)}});
    }
    return QJsonObject{{"channels", channels},
                       {"removableChannelIndices", intArray(analysis->removableChannelIndices())},
                       {"silentChannelIndices", intArray(analysis->silentChannelIndices())},
                       {"summaryText", qs(analysis->summaryText())}};
}

QJsonObject resultJson(const ScanResult& r) {
    const AudioFileInfo& f = r.fileInfo;
    std::optional<QJsonValue> paired, louder, pan;
    if (r.pairedFilePath) paired = qs(r.pairedFilePath->string());
    std::optional<QJsonValue> louderSide;
    if (r.pannedMonoLouderChannel) {
        louder = qs(std::string(title(*r.pannedMonoLouderChannel)));
        louderSide = *r.pannedMonoLouderChannel == ChannelSelection::left ? "left" : "right";
    }
    if (r.pannedMonoPanPercent) pan = *r.pannedMonoPanPercent;
    QJsonObject result{{"pairedPath", orNull(paired)},
                       {"filename", qs(f.filename)},
                       {"fileExtension", qs(f.fileExtension)},
                       {"fileSize", qint64(f.fileSize)},
                       {"sampleRate", f.sampleRate},
                       {"bitDepth", f.bitDepth},
                       {"channelCount", f.channelCount},
                       {"duration", f.duration},
                       {"sourceFormatID", qs(fourCCText(f.sourceFormatID))},
                       {"format", formatID(f.sourceFormatID)},
                       {"isDualMono", r.isDualMono},
                       {"isPannedMono", r.isPannedMono},
                       {"pannedMonoLouderChannel", orNull(louder)},
                       {"pannedMonoLouderSide", orNull(louderSide)},
                       {"pannedMonoPanPercent", orNull(pan)},
                       {"isPhaseInverted", r.isPhaseInverted},
                       {"silentChannel", silentChannelName(r.silentChannel)},
                       {"status", statusID(r)},
                       {"statusText", qs(r.statusText())},
                       {"isConvertible", r.isConvertible()},
                       {"potentialSavings", qint64(r.potentialSavings)},
                       {"analysisTime", r.analysisTime},
                       {"multichannelAnalysis", multichannelJson(r.multichannelAnalysis)},
                       {"isBackup", r.isInBackupFolder()}};
    putPath(result, "path", f.path);
    if (r.pairedFilePath) putPath(result, "pairedPath", *r.pairedFilePath);
    if (r.pairingNote) result["pairingNote"] = qs(*r.pairingNote);
    if (r.isPannedMono) {
        // Null when nothing at all is left over (or nothing was measured).
        result["panResidualdB"] = r.panResidual ? level(r.panResidual->relativedB) : QJsonValue();
        result["differs"] = r.differsFromAPan();
    }
    if (!r.unreadableReason) result["evidence"] = evidenceJson(r);
    return result;
}

QJsonObject summaryJson(const SummaryFigures& s) {
    return QJsonObject{{"totalFiles", s.totalFiles},
                       {"unreadable", s.unreadable},
                       {"dualMono", s.dualMono},
                       {"pannedMono", s.pannedMono},
                       {"phaseInverted", s.phaseInverted},
                       {"silentChannel", s.silentChannel},
                       {"noAudio", s.noAudio},
                       {"multichannel", s.multichannel},
                       {"trueStereo", s.trueStereo},
                       {"totalPotentialSavings", qint64(s.totalPotentialSavings)}};
}

}  // namespace

QString formatID(std::uint32_t sourceFormatID) {
    if (sourceFormatID == kFormatLinearPCM) return "pcm";
    if (sourceFormatID == kFormatMPEGLayer3) return "mp3";
    if (sourceFormatID == kFormatMPEG4AAC) return "aac";
    if (sourceFormatID == kFormatAppleLossless) return "alac";
    return qs(fourCCText(sourceFormatID)).trimmed().remove('.').toLower();
}

QJsonObject scanResultJson(const ScanResult& r) { return resultJson(r); }

QByteArray scanResultJsonLine(const ScanResult& r) {
    QJsonObject line;
    if (r.unreadableReason) {
        line = QJsonObject{{"error", qs(unreadableReasonText(r))}};
        putPath(line, "path", r.fileInfo.path);
    } else {
        line = resultJson(r);
    }
    line.insert("schemaVersion", kSchemaVersion);
    return QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
}

// The document as QJsonDocument would indent it, but with the results
// written one at a time into its "results" array: a library of 100,000
// files as one JSON tree takes gigabytes.
void writeScanJson(const ScanReport& report, std::ostream& out) {
    QJsonArray errors;
    for (const ScanResult& r : report.unreadable) {
        QJsonObject error{{"reason", qs(unreadableReasonText(r))}};
        putPath(error, "path", r.fileInfo.path);
        errors.append(error);
    }
    const QJsonObject document{{"schemaVersion", kSchemaVersion},
                               {"results", QJsonArray()},
                               {"errors", errors},
                               {"summary", summaryJson(report.summary)}};
    const std::string skeleton = QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
    // A line break inside a text is escaped, so this occurs once.
    const std::string emptyResults = "    \"results\": [\n    ]";
    const std::size_t at = skeleton.find(emptyResults);
    const std::size_t opened = at + emptyResults.size() - 5;  // after the '[' and its line break
    out << skeleton.substr(0, opened);
    for (std::size_t i = 0; i < report.results.size(); ++i) {
        const std::string item =
            QJsonDocument(resultJson(report.results[i])).toJson(QJsonDocument::Indented).toStdString();
        for (std::size_t line = 0; line < item.size();) {
            const std::size_t end = item.find('\n', line);
            out << "        " << std::string_view(item).substr(line, end - line);
            line = end + 1;
            if (line < item.size()) out << '\n';
        }
        out << (i + 1 < report.results.size() ? ",\n" : "\n");
    }
    out << skeleton.substr(opened);
}

}  // namespace twinfold::cli
