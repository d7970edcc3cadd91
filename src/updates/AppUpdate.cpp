#include "updates/AppUpdate.h"

#include "updates/VersionComparison.h"

#include <QCborValue>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace twinfold {

namespace {

using Kind = AppUpdateDecodeError::Kind;

QJsonValue requiredMember(const QJsonObject& object, const QString& key) {
    const auto found = object.constFind(key);
    if (found == object.constEnd()) {
        throw AppUpdateDecodeError(
            Kind::missingKey, QStringLiteral("The data couldn’t be read because the key “%1” is missing.").arg(key));
    }
    return *found;
}

[[noreturn]] void throwWrongType(const QString& key, const char* expected) {
    throw AppUpdateDecodeError(Kind::wrongType,
                               QStringLiteral("The data couldn’t be read because the value of “%1” is not %2.")
                                   .arg(key, QLatin1String(expected)));
}

QString requiredString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = requiredMember(object, key);
    if (!value.isString()) throwWrongType(key, "a string");
    return value.toString();
}

// JSON has one number type; Qt's parser keeps integral numbers that fit in
// 64 bits as exact integers, so anything else (1.5, 2^63) is not a build number.
qint64 requiredInteger(const QJsonObject& object, const QString& key) {
    const QJsonValue value = requiredMember(object, key);
    const QCborValue number = QCborValue::fromJsonValue(value);
    if (!value.isDouble() || !number.isInteger()) throwWrongType(key, "a 64-bit integer");
    return number.toInteger();
}

// The server's text goes into the message shortened, so a runaway value
// cannot flood the alert that shows it.
QString requiredVersion(const QJsonObject& object, const QString& key) {
    const QString version = requiredString(object, key);
    if (!parseVersion(version.toStdString())) {
        const qsizetype shown = qsizetype(maximumVersionLength);
        const QString quoted = version.size() > shown ? version.left(shown) + QChar(0x2026) : version;
        throw AppUpdateDecodeError(Kind::notAVersion,
                                   QStringLiteral("The version “%1” is not a version number.").arg(quoted));
    }
    return version;
}

QJsonObject parseObject(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw AppUpdateDecodeError(
            Kind::invalidJSON,
            QStringLiteral("The data couldn’t be read because it isn’t valid JSON (%1 at offset %2).")
                .arg(parseError.errorString())
                .arg(parseError.offset));
    }
    if (!document.isObject()) {
        throw AppUpdateDecodeError(Kind::notAnObject,
                                   QStringLiteral("The data couldn’t be read because it isn’t a JSON object."));
    }
    return document.object();
}

}  // namespace

AppUpdateDecodeError::AppUpdateDecodeError(Kind kind, const QString& description)
    : std::runtime_error(description.toStdString()), kind_(kind) {}

AppUpdate decodeAppUpdate(const QByteArray& json) {
    const QJsonObject object = parseObject(json);
    AppUpdate update;
    update.version = requiredVersion(object, QStringLiteral("version"));
    update.build = requiredInteger(object, QStringLiteral("build"));
    update.downloadURL = requiredString(object, QStringLiteral("downloadURL"));
    update.releaseNotes = requiredString(object, QStringLiteral("releaseNotes"));
    update.releaseDate = requiredString(object, QStringLiteral("releaseDate"));
    return update;
}

QByteArray encodeAppUpdate(const AppUpdate& update) {
    QJsonObject object;
    object.insert(QStringLiteral("version"), update.version);
    object.insert(QStringLiteral("build"), update.build);
    object.insert(QStringLiteral("downloadURL"), update.downloadURL);
    object.insert(QStringLiteral("releaseNotes"), update.releaseNotes);
    object.insert(QStringLiteral("releaseDate"), update.releaseDate);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace twinfold
