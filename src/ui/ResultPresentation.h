#pragma once

#include "records/ChannelAnalysis.h"
#include "records/ScanResult.h"
#include "ui/Theme.h"

#include <QString>
#include <QStringList>

namespace twinfold {

// How one result is shown in the table: which symbol and tint mark its kind,
// the colour of its status badge, and the texts of its columns. Pure
// functions, so the rules can be checked without drawing.

QString kindSymbolName(const ScanResult& result);
Tint kindTint(const ScanResult& result);
Tint badgeTint(const ScanResult& result);

// The check-mark column: a non-convertible result shows a dimmed minus sign
// and takes no clicks.
// The status badge's words: the verdict, and for a pan that would discard
// content of its own what it differs by ("Mono Panned 69% L · differs by
// -18 dB"), so the user sees it without hovering.
QString statusBadgeText(const ScanResult& result);

// Why a row is not what it seems: the reason a file could not be read, the
// content a pan would discard, a backup folder, a pair that did not pair.
// One sentence each, for the row's tooltip; empty for an ordinary row.
QStringList rowNotes(const ScanResult& result);
// The small tag drawn after the file name ("Backup"), or empty.
QString filenameTagText(const ScanResult& result);

struct CheckMark {
    QString symbolName;
    Tint tint = Tint::secondary;
    qreal opacity = 1.0;
    bool clickable = false;
};
CheckMark checkMarkFor(const ScanResult& result, bool selected);

// The format columns of a row; a file that could not be read has no
// format to show, only its size.
QString formatColumnText(const ScanResult& result, const QString& text);
QString channelsText(const AudioFileInfo& info);  // "2ch"
QString bitDepthText(const AudioFileInfo& info);  // "24-bit", or "Compressed" for a coded source
// "0:00.3" under a second (a click, a slate), "3:07", "1:01:40" from an hour.
QString durationDisplayText(double seconds);
// A byte count in the desktop's file-size style and the user's locale.
QString byteCountText(qint64 bytes);

// One channel of a multichannel file: the cell's colour and its pill.
Tint channelTint(const ChannelAnalysis& channel);
QString channelPillText(const ChannelAnalysis& channel);  // "Silent", "Unique", "Dup of 1,3"
// "2 removable channels", "1 removable channel", or empty when nothing can go.
QString removableChannelsText(const MultichannelAnalysis& analysis);

}  // namespace twinfold
