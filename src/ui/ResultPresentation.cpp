#include "ui/ResultPresentation.h"

#include "presentation/PresentationTexts.h"
#include "ui/RecordTexts.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include <optional>

namespace twinfold {

namespace {

bool hasRemovableChannels(const ScanResult& result) {
    return result.multichannelAnalysis && !result.multichannelAnalysis->removableChannelIndices().empty();
}

bool oneChannelSilent(const ScanResult& result) {
    return result.silentChannel == SilentChannelStatus::left || result.silentChannel == SilentChannelStatus::right;
}

Tint multichannelTint(const ScanResult& result) { return hasRemovableChannels(result) ? Tint::orange : Tint::teal; }

// The tint of a channel finding (a silent channel, phase inversion, dual or
// panned mono), first match in that order; none when the file has none.
std::optional<Tint> redundancyTint(const ScanResult& result) {
    if (oneChannelSilent(result)) return Tint::purple;
    if (result.silentChannel == SilentChannelStatus::both) return Tint::gray;
    if (result.isPhaseInverted) return Tint::red;
    if (result.isDualMono || result.isPannedMono) return Tint::orange;
    return std::nullopt;
}

}  // namespace

QString kindSymbolName(const ScanResult& result) {
    if (result.unreadableReason) return QStringLiteral("xmark");
    if (result.multichannelAnalysis)
        return hasRemovableChannels(result) ? QStringLiteral("square.stack.3d.up.badge.automatic")
                                            : QStringLiteral("square.stack.3d.up");
    if (oneChannelSilent(result)) return QStringLiteral("speaker.slash");
    if (result.silentChannel == SilentChannelStatus::both) return QStringLiteral("speaker.slash.fill");
    if (result.isPhaseInverted) return QStringLiteral("waveform.badge.exclamationmark");
    if (result.pairedFilePath) return QStringLiteral("doc.on.doc");
    if (result.isDualMono || result.isPannedMono) return QStringLiteral("doc.badge.ellipsis");
    return result.fileInfo.channelCount == 2 ? QStringLiteral("speaker.wave.2") : QStringLiteral("speaker.wave.1");
}

// Unlike the symbol, the tint tests dual and panned mono before the split
// pair, so a dual-mono pair is orange like any other dual-mono file.
Tint kindTint(const ScanResult& result) {
    if (result.unreadableReason) return Tint::red;
    if (result.multichannelAnalysis) return multichannelTint(result);
    if (const auto tint = redundancyTint(result)) return *tint;
    if (result.pairedFilePath || result.fileInfo.channelCount == 2) return Tint::blue;
    return Tint::secondary;
}

Tint badgeTint(const ScanResult& result) {
    if (result.unreadableReason) return Tint::red;
    if (result.multichannelAnalysis) return multichannelTint(result);
    if (result.fileInfo.channelCount == 1) return Tint::secondary;
    return redundancyTint(result).value_or(Tint::blue);
}

QString statusBadgeText(const ScanResult& result) {
    // The full multichannel summary does not fit a badge at ordinary widths;
    // the badge says how many channels can go, the tooltip says which kind.
    if (result.multichannelAnalysis && !result.unreadableReason) {
        const auto removable = result.multichannelAnalysis->removableChannelIndices().size();
        if (removable == 0) return QCoreApplication::translate("twinfold::ResultPresentation", "Multichannel · Unique");
        return QCoreApplication::translate("twinfold::ResultPresentation", "Multichannel · %1 removable")
            .arg(removable);
    }
    const QString status = recordText(result.statusText());
    const std::string difference = result.differenceText();
    return difference.empty() ? status : status + QStringLiteral(" · ") + QString::fromStdString(difference);
}

QStringList rowNotes(const ScanResult& result) {
    QStringList notes;
    if (result.multichannelAnalysis && !result.unreadableReason) notes << recordText(result.statusText());
    if (result.unreadableReason)
        notes << QCoreApplication::translate("twinfold::ResultPresentation", "Could not be read: %1")
                     .arg(QString::fromStdString(*result.unreadableReason));
    if (result.differsFromAPan()) {
        notes << QCoreApplication::translate("twinfold::ResultPresentation",
                                             "The quieter channel is not just a quieter copy of the louder one "
                                             "(it %1): converting would discard what only it holds, so it is not "
                                             "ticked.")
                     .arg(QString::fromStdString(result.differenceText()));
    }
    if (result.isInBackupFolder())
        notes << QCoreApplication::translate("twinfold::ResultPresentation",
                                             "An original that an earlier conversion moved to a Twinfold backup "
                                             "folder; it is not ticked.");
    if (result.pairingNote) notes << QString::fromStdString(*result.pairingNote);
    return notes;
}

QString filenameTagText(const ScanResult& result) {
    return result.isInBackupFolder() ? QCoreApplication::translate("twinfold::ResultPresentation", "Backup")
                                     : QString();
}

CheckMark checkMarkFor(const ScanResult& result, bool selected) {
    if (!result.isConvertible()) return {QStringLiteral("minus.circle"), Tint::secondary, 0.5, false};
    if (selected) return {QStringLiteral("checkmark.circle.fill"), Tint::accent, 1.0, true};
    return {QStringLiteral("circle"), Tint::secondary, 1.0, true};
}

QString formatColumnText(const ScanResult& result, const QString& text) {
    return result.unreadableReason ? QStringLiteral("—") : text;
}

QString channelsText(const AudioFileInfo& info) { return recordText(presentation::channelsText(info)); }

QString bitDepthText(const AudioFileInfo& info) { return recordText(presentation::bitDepthText(info)); }

QString durationDisplayText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds >= 9.0e15) return QStringLiteral("0:00");
    if (seconds > 0 && seconds < 1) {
        // Tenths, never rounded up to a whole second nor down to nothing.
        const int tenths = std::clamp(int(seconds * 10), 1, 9);
        return QStringLiteral("0:00.%1").arg(tenths);
    }
    const long long whole = static_cast<long long>(seconds);
    const QString secondsText = QStringLiteral("%1").arg(whole % 60, 2, 10, QLatin1Char('0'));
    if (whole < 3600) return QStringLiteral("%1:%2").arg(whole / 60).arg(secondsText);
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg((whole / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(secondsText);
}

QString byteCountText(qint64 bytes) {
    return QString::fromStdString(presentation::byteCountText(bytes, QLocale().decimalPoint().toStdString()));
}

Tint channelTint(const ChannelAnalysis& channel) {
    if (channel.isSilent) return Tint::gray;
    return channel.identicalToChannels.empty() ? Tint::teal : Tint::orange;
}

QString channelPillText(const ChannelAnalysis& channel) { return recordText(presentation::channelPillText(channel)); }

QString removableChannelsText(const MultichannelAnalysis& analysis) {
    const presentation::Text text = presentation::removableChannelsText(analysis);
    return text.pattern.empty() ? QString() : recordText(text);
}

}  // namespace twinfold
