#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <stdexcept>

namespace twinfold {

// The published version descriptor. Only `version` takes part in the
// comparison; `downloadURL` stays text until the download action parses it.
struct AppUpdate {
    QString version;
    qint64 build = 0;
    QString downloadURL;
    QString releaseNotes;
    QString releaseDate;

    bool operator==(const AppUpdate&) const = default;
};

// Why a descriptor could not be decoded; what() is the text shown to the user.
class AppUpdateDecodeError : public std::runtime_error {
public:
    enum class Kind { invalidJSON, notAnObject, missingKey, wrongType, tooLarge, notAVersion, undecompressable };

    AppUpdateDecodeError(Kind kind, const QString& description);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Decodes one JSON object carrying all five keys with their JSON types
// ("build" an integral number within 64 bits, "version" a version number as
// parseVersion() reads one); other keys are ignored. Throws
// AppUpdateDecodeError.
AppUpdate decodeAppUpdate(const QByteArray& json);

// The same five keys, compact.
QByteArray encodeAppUpdate(const AppUpdate& update);

}  // namespace twinfold
