#include "ui/ConversionQuestionTexts.h"

#include "ui/ResultPresentation.h"

#include <QCoreApplication>
#include <QStringList>

#include <cmath>

namespace twinfold {

namespace {

QString translated(const char* text, int n = -1) {
    return QCoreApplication::translate("twinfold::ConversionQuestionTexts", text, nullptr, n);
}

}  // namespace

QString lossySizeText(const ConversionQuestion& question) {
    const QString wav = byteCountText(question.estimatedWavBytes);
    const QString source = byteCountText(question.sourceBytes);
    const double ratio =
        question.sourceBytes > 0 ? double(question.estimatedWavBytes) / double(question.sourceBytes) : 0;
    if (ratio < 1.5)
        return translated("The WAV files will take about %1; the compressed files take %2.").arg(wav, source);
    return translated("The WAV files will be about %1 times larger than the compressed files (about %2 instead of %3).")
        .arg(int(std::lround(ratio)))
        .arg(wav, source);
}

QString deletionQuestionText(const ConversionQuestion& question) {
    const QString size = byteCountText(question.originalBytes);
    const auto count = question.originals.size();
    if (count == 1) return translated("Delete 1 original (%1) permanently after converting?").arg(size);
    return translated("Delete %1 originals (%2) permanently after converting?").arg(count).arg(size);
}

QString deletionListText(const ConversionQuestion& question) {
    QStringList lines;
    for (const auto& path : question.originals) lines << QString::fromStdString(path.string());
    return lines.join(QLatin1Char('\n'));
}

}  // namespace twinfold
