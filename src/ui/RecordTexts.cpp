#include "ui/RecordTexts.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <string>

namespace twinfold {

namespace {

// Listed for lupdate, which cannot read the engine's plain strings. Keep in
// step with the texts in records and conversion.
[[maybe_unused]] constexpr const char* kEngineTexts[] = {
    // File statuses
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Unreadable"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "No Audio Content"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Already Mono"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Silent Left Channel"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Silent Right Channel"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Phase Inverted"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Dual Mono"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "True Stereo"),
    // What happens to originals
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Move originals to backup folder"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Delete originals"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Leave originals in place"),
    // Phase-inverted and multichannel choices
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Use Left Channel"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Use Right Channel"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Split to Two Mono Files"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Create a mono file using only the left channel"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Create a mono file using only the right channel"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Create two separate mono files (filename_L and filename_R)"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Split All Channels to Mono"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Remove Redundant Channels"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Create individual mono files for every channel"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Remove silent and duplicate channels, keeping unique content"),
    // A channel's peak, and its part in a multichannel file
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Silent"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Unique"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Dup of %1"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Ch %1"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "1 removable channel"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "%1 removable channels"),
    // Format columns
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "%1ch"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "%1-bit"),
    QT_TRANSLATE_NOOP("twinfold::RecordTexts", "Compressed"),
};

}  // namespace

QString recordText(std::string_view english) {
    const std::string source(english);
    return QCoreApplication::translate("twinfold::RecordTexts", source.c_str());
}

QString recordText(const presentation::Text& text) {
    QString shown = recordText(text.pattern);
    for (const std::string& arg : text.args) shown = shown.arg(QString::fromStdString(arg));
    return shown;
}

}  // namespace twinfold
