#include "ConvertReport.h"

#include "JsonFormatter.h"
#include "Terminal.h"
#include "workflow/PathJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

QJsonObject pathObject(const fs::path& path) {
    QJsonObject object;
    putPath(object, "path", path);
    return object;
}

QJsonArray pathArray(const std::vector<fs::path>& paths) {
    QJsonArray array;
    for (const fs::path& p : paths) array.append(pathObject(p));
    return array;
}

const char* operationID(PlannedOperation operation) {
    switch (operation) {
    case PlannedOperation::keepOneChannel: return "keepOneChannel";
    case PlannedOperation::splitStereo: return "splitStereo";
    case PlannedOperation::copyPairSide: return "copyPairSide";
    case PlannedOperation::copyBothPairSides: return "copyBothPairSides";
    case PlannedOperation::splitAllChannels: return "splitAllChannels";
    case PlannedOperation::removeChannels: return "removeChannels";
    }
    return "unknown";
}

const char* clashID(ClashKind kind) {
    switch (kind) {
    case ClashKind::sharedOutput: return "sharedOutput";
    case ClashKind::exists: return "exists";
    case ClashKind::nameTooLong: return "nameTooLong";
    case ClashKind::overwritesSource: return "overwritesSource";
    }
    return "unknown";
}

const char* fateID(OriginalFate fate) {
    switch (fate) {
    case OriginalFate::moved: return "moved";
    case OriginalFate::deleted: return "deleted";
    case OriginalFate::kept: return "kept";
    case OriginalFate::notHandled: return "notHandled";
    }
    return "notHandled";
}

QJsonObject setting(const QJsonValue& value, SettingSource source) {
    return QJsonObject{{"value", value}, {"source", sourceName(source)}};
}

QJsonObject settingsJson(const PlanSummary& plan) {
    const AppSettings& s = plan.settings;
    const SettingSources& from = plan.sources;
    return QJsonObject{
        {"suffix", setting(qs(s.namingSuffix), from.suffix)},
        {"panInName", setting(s.includePanInFilename, from.panInName)},
        {"normalize",
         setting(s.normalizationEnabled ? QJsonValue(double(s.normalizationTargetdBFS)) : QJsonValue(false),
                 from.normalize)},
        {"threshold", setting(double(s.silenceThresholddBFS), from.threshold)},
        {"originals", setting(qs(std::string(title(s.originalFileHandling))), from.originals)},
        {"phase", setting(qs(std::string(title(plan.options.phaseFixOption))), from.phase)},
        {"multichannel", setting(qs(std::string(title(plan.options.multichannelOption))), from.multichannel)}};
}

QJsonObject itemJson(const PlannedConversion& item) {
    QJsonArray outputs, clashes;
    for (const PlannedOutput& output : item.outputs) {
        QJsonObject o = pathObject(output.path);
        QJsonArray channels;
        for (int c : output.sourceChannels) channels.append(c);
        o["sourceChannels"] = channels;
        outputs.append(o);
    }
    for (const PlannedClash& clash : item.clashes) {
        QJsonObject c{{"kind", clashID(clash.kind)}, {"text", qs(clash.text())}};
        putPath(c, "output", clash.output);
        clashes.append(c);
    }
    const QJsonObject result = scanResultJson(item.result);
    QJsonObject object{{"sources", pathArray(item.files)},
                       {"filename", result["filename"]},
                       {"status", result["status"]},
                       {"statusText", result["statusText"]},
                       {"operation", operationID(item.operation)},
                       {"outputs", outputs},
                       {"clashes", clashes}};
    return object;
}

// The sources each output was written from, by the plan.
std::vector<fs::path> sourcesOf(const PlanSummary& plan, const fs::path& output) {
    for (const PlannedConversion& item : plan.plan.items) {
        for (const PlannedOutput& o : item.outputs) {
            if (o.path == output) return item.files;
        }
    }
    return {};
}

QJsonObject outcomeJson(const PlanSummary& plan, const ConversionRecord& record) {
    QJsonArray outputs, originals, problems;
    for (const fs::path& output : record.outputs) {
        QJsonObject o = pathObject(output);
        o["sources"] = pathArray(sourcesOf(plan, output));
        outputs.append(o);
    }
    for (const HandledOriginal& h : record.originals) {
        QJsonObject o = pathObject(h.original);
        o["fate"] = fateID(h.fate);
        if (h.movedTo) putPath(o, "movedTo", *h.movedTo);
        originals.append(o);
    }
    for (const std::string& problem : record.problems) problems.append(qs(problem));
    QJsonObject object{{"completed", !record.failure},
                       {"outputs", outputs},
                       {"originals", originals},
                       {"problems", problems},
                       {"savedBytes", qint64(record.savedBytes)}};
    if (record.failure) object["error"] = qs(*record.failure);
    return object;
}

}  // namespace

QByteArray formatConvertJson(const PlanSummary& plan, bool dryRun, const std::optional<ConversionRecord>& record) {
    QJsonArray items;
    for (const PlannedConversion& item : plan.plan.items) items.append(itemJson(item));
    QJsonObject planJson{{"settings", settingsJson(plan)}, {"items", items}};
    if (plan.scannedFolder) putPath(planJson, "folder", *plan.scannedFolder);
    const QJsonObject document{{"schemaVersion", kSchemaVersion},
                               {"dryRun", dryRun},
                               {"plan", planJson},
                               {"outcome", record ? QJsonValue(outcomeJson(plan, *record)) : QJsonValue()}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

std::string formatConversionLog(const PlanSummary& plan, const ConversionRecord& record, const QDateTime& when) {
    std::string out = when.toString(Qt::ISODate).toStdString() +
                      " twinfold-cli convert: " + std::to_string(record.outputs.size()) + " outputs written" +
                      (record.failure ? ", failed: " + *record.failure : std::string()) + '\n';
    for (const fs::path& output : record.outputs) {
        out += "  output " + escapedText(output.string()) + " from";
        for (const fs::path& source : sourcesOf(plan, output)) out += ' ' + escapedText(source.string());
        out += '\n';
    }
    for (const HandledOriginal& h : record.originals) {
        out += "  original " + escapedText(h.original.string()) + ": " + fateID(h.fate);
        if (h.movedTo) out += " to " + escapedText(h.movedTo->string());
        out += '\n';
    }
    for (const std::string& problem : record.problems) out += "  problem: " + escapedText(problem) + '\n';
    return out;
}

}  // namespace twinfold::cli
