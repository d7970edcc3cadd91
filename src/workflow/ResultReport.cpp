#include "workflow/ResultReport.h"

#include "presentation/EvidenceTexts.h"
#include "workflow/PathJson.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <cmath>
#include <stdexcept>

namespace twinfold {

namespace {

// JSON has no infinity: a level of nothing at all is null.
QJsonValue level(double dB) { return std::isfinite(dB) ? QJsonValue(dB) : QJsonValue(); }

QJsonObject channelJson(const ChannelEvidence& c) {
    QJsonObject o;
    o["peakdBFS"] = level(c.peakdBFS);
    o["rmsdBFS"] = level(c.rmsdBFS);
    o["dcOffset"] = c.dcOffset;
    o["silent"] = c.isSilent;
    if (!c.trackName.empty()) o["trackName"] = QString::fromStdString(c.trackName);
    return o;
}

QJsonObject pairJson(const PairEvidence& p) {
    QJsonObject o;
    o["correlation"] = p.correlation;
    o["maxDifferencedBFS"] = level(p.maxDifferencedBFS);
    o["firstDifferingFrame"] = p.firstDifferingFrame ? QJsonValue(qint64(*p.firstDifferingFrame)) : QJsonValue();
    o["maxSumdBFS"] = level(p.maxSumdBFS);
    if (p.panGaindB) o["panGaindB"] = level(*p.panGaindB);
    return o;
}

QJsonArray sentencesJson(const ScanResult& result) {
    QJsonArray sentences;
    for (const std::string& s : verdictSentences(result)) sentences.append(QString::fromStdString(s));
    return sentences;
}

QJsonObject resultJson(const ScanResult& r) {
    QJsonObject o;
    putPath(o, "file", r.fileInfo.path);
    if (r.pairedFilePath) putPath(o, "pairedFile", *r.pairedFilePath);
    o["verdict"] = QString::fromStdString(r.statusText());
    o["channelCount"] = r.fileInfo.channelCount;
    o["sampleRate"] = r.fileInfo.sampleRate;
    if (r.panResidual) o["panResidualdB"] = level(r.panResidual->relativedB);
    o["evidence"] = evidenceJson(r);
    o["sentences"] = sentencesJson(r);
    return o;
}

// RFC 4180: a field with a comma, quote or line break is quoted, its quotes doubled.
QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString number(double value, int decimals) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : (value < 0 ? "-inf" : "");
}

// Per-channel figures in one field, "−3.0 / −6.1", channel order.
template <typename Get>
QString perChannel(const FileEvidence& e, Get get) {
    QStringList values;
    for (const ChannelEvidence& c : e.channels) values << number(get(c), 2);
    return values.join(QLatin1String(" / "));
}

const QStringList csvHeader{"file",
                            "paired file",
                            "verdict",
                            "channels",
                            "sample rate",
                            "peak dBFS",
                            "RMS dBFS",
                            "correlation",
                            "max difference dBFS",
                            "first differing frame",
                            "max sum dBFS",
                            "pan gain dB",
                            "pan residual dB",
                            "evidence"};

QString csvRow(const ScanResult& r) {
    const FileEvidence& e = r.evidence;
    const auto& p = e.pair;
    QStringList sentences;
    for (const std::string& s : verdictSentences(r)) sentences << QString::fromStdString(s);
    const QStringList fields{
        QFile::decodeName(QByteArray(r.fileInfo.path.c_str())),
        r.pairedFilePath ? QFile::decodeName(QByteArray(r.pairedFilePath->c_str())) : QString(),
        QString::fromStdString(r.statusText()),
        QString::number(r.fileInfo.channelCount),
        QString::number(r.fileInfo.sampleRate),
        perChannel(e, [](const ChannelEvidence& c) { return double(c.peakdBFS); }),
        perChannel(e, [](const ChannelEvidence& c) { return double(c.rmsdBFS); }),
        p ? number(p->correlation, 4) : QString(),
        p ? number(p->maxDifferencedBFS, 2) : QString(),
        p && p->firstDifferingFrame ? QString::number(*p->firstDifferingFrame) : QString(),
        p ? number(p->maxSumdBFS, 2) : QString(),
        p && p->panGaindB ? number(*p->panGaindB, 2) : QString(),
        r.panResidual ? number(r.panResidual->relativedB, 2) : QString(),
        sentences.join(QLatin1String("; ")),
    };
    QStringList row;
    for (const QString& f : fields) row << csvField(f);
    return row.join(QLatin1Char(','));
}

QByteArray reportBytes(const std::vector<ScanResult>& results, ReportFormat format) {
    if (format == ReportFormat::json) {
        QJsonArray list;
        for (const ScanResult& r : results) list.append(resultJson(r));
        return QJsonDocument(QJsonObject{{"results", list}}).toJson(QJsonDocument::Indented);
    }
    QString text = csvHeader.join(QLatin1Char(',')) + QLatin1String("\r\n");
    for (const ScanResult& r : results) text += csvRow(r) + QLatin1String("\r\n");
    return text.toUtf8();
}

}  // namespace

QJsonObject evidenceJson(const ScanResult& result) {
    QJsonObject o;
    QJsonArray channels;
    for (const ChannelEvidence& c : result.evidence.channels) channels.append(channelJson(c));
    o["channels"] = channels;
    if (result.evidence.pair) o["pair"] = pairJson(*result.evidence.pair);
    return o;
}

void writeReport(const std::vector<ScanResult>& results, ReportFormat format, const std::filesystem::path& output) {
    QSaveFile file(QFile::decodeName(QByteArray(output.c_str())));
    const QByteArray bytes = reportBytes(results, format);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(output.string() + ": " + file.errorString().toStdString());
}

}  // namespace twinfold
