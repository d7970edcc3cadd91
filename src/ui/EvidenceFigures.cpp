#include "ui/EvidenceFigures.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace twinfold {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("EvidenceFigures", text); }

const QChar kMinus(0x2212);

QString signedNumber(double value, int decimals) {
    const QString digits = QLocale().toString(std::abs(value), 'f', decimals);
    const bool negative = value < 0 && digits != QLocale().toString(0.0, 'f', decimals);
    return negative ? kMinus + digits : digits;
}

QString channelLevels(const ChannelEvidence& channel) {
    QString text = tr("peak %1 · RMS %2 · DC %3")
                       .arg(decibelText(channel.peakdBFS, tr("dBFS")), decibelText(channel.rmsdBFS, tr("dBFS")),
                            signedNumber(channel.dcOffset, 4));
    if (channel.isSilent) text += tr(" · silent");
    return text;
}

void addPairFigures(const ScanResult& result, const PairEvidence& pair, std::vector<FigureRow>& rows) {
    rows.push_back({tr("Correlation"), signedNumber(pair.correlation, 4)});
    rows.push_back({tr("Largest |L − R|"), decibelText(pair.maxDifferencedBFS, tr("dBFS"))});
    rows.push_back({tr("First differing frame"), pair.firstDifferingFrame
                                                     ? QLocale().toString(qlonglong(*pair.firstDifferingFrame))
                                                     : tr("none: the channels are identical")});
    rows.push_back({tr("Largest |L + R|"), decibelText(pair.maxSumdBFS, tr("dBFS"))});
    if (pair.panGaindB) rows.push_back({tr("Pan gain"), decibelText(*pair.panGaindB, tr("dB"))});
    if (result.panResidual) rows.push_back({tr("Residual"), decibelText(result.panResidual->relativedB, tr("dB"))});
}

}  // namespace

QString decibelText(double dB, const QString& unit) {
    if (std::isnan(dB)) return QStringLiteral("–");
    const QString infinity(QChar(0x221E));
    const QString number = std::isinf(dB) ? (dB < 0 ? QString(kMinus) + infinity : infinity) : signedNumber(dB, 1);
    return number + QChar(' ') + unit;
}

QString channelTitle(const ScanResult& result, int index) {
    const int count = result.fileInfo.channelCount;
    const QString label = QString::fromStdString(labelForChannel(index, count));
    QString title = count > 2 ? tr("Ch %1").arg(index + 1) : label;
    // Numbered channels carry their number already.
    if (count > 2 && label != QString::number(index + 1)) title += QStringLiteral(" · ") + label;
    const auto& channels = result.evidence.channels;
    if (std::size_t(index) < channels.size() && !channels[std::size_t(index)].trackName.empty())
        title += QStringLiteral(" · ") + QString::fromStdString(channels[std::size_t(index)].trackName);
    return title;
}

std::vector<FigureRow> evidenceFigures(const ScanResult& result) {
    std::vector<FigureRow> rows;
    const auto& channels = result.evidence.channels;
    for (std::size_t i = 0; i < channels.size(); ++i)
        rows.push_back({channelTitle(result, int(i)), channelLevels(channels[i])});
    if (result.evidence.pair) addPairFigures(result, *result.evidence.pair, rows);
    return rows;
}

}  // namespace twinfold
