#include "workflow/SettingsStore.h"

#include "jobs/JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSettings>

#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace twinfold {

namespace {

const QString recordKey = QStringLiteral("TwinfoldSettings");
const QString hideLossyNoticeKey = QStringLiteral("hideLossyFormatNotice");

// ---- encoding ---------------------------------------------------------------

// A record that is not UTF-8 is refused rather than saved altered.
bool appendString(std::string& out, std::string_view text) {
    if (!json::isValidUtf8(text)) return false;
    json::appendString(out, text);
    return true;
}

// The shortest text that reads back as the very same 32-bit value.
bool appendFloat(std::string& out, float value) {
    if (!std::isfinite(value)) return false;  // JSON has no infinities or NaN
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
    return true;
}

void appendBool(std::string& out, bool value) { out += value ? "true" : "false"; }

void appendKey(std::string& out, const char* key) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":";
}

// ---- decoding ---------------------------------------------------------------

// A member that is missing or null keeps the default already in `out`; one
// of the wrong type fails the whole record.
QJsonValue member(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)); }
bool absent(const QJsonValue& value) { return value.isUndefined() || value.isNull(); }

bool read(const QJsonObject& object, const char* key, std::string& out) {
    const QJsonValue value = member(object, key);
    if (absent(value)) return true;
    if (!value.isString()) return false;
    out = value.toString().toStdString();
    return true;
}

bool read(const QJsonObject& object, const char* key, std::optional<std::string>& out) {
    const QJsonValue value = member(object, key);
    if (absent(value)) return true;
    if (!value.isString()) return false;
    out = value.toString().toStdString();
    return true;
}

bool read(const QJsonObject& object, const char* key, bool& out) {
    const QJsonValue value = member(object, key);
    if (absent(value)) return true;
    if (!value.isBool()) return false;
    out = value.toBool();
    return true;
}

bool read(const QJsonObject& object, const char* key, float& out) {
    const QJsonValue value = member(object, key);
    if (absent(value)) return true;
    if (!value.isDouble()) return false;
    const double number = value.toDouble();
    // Anything at or past the midpoint above the largest float would round to
    // infinity: it does not fit a 32-bit float.
    if (!(std::fabs(number) < 0x1.ffffffp+127)) return false;
    out = static_cast<float>(number);
    return true;
}

bool read(const QJsonObject& object, const char* key, OriginalFileHandling& out) {
    std::string raw;
    const QJsonValue value = member(object, key);
    if (absent(value)) return true;
    if (!read(object, key, raw)) return false;
    const auto handling = originalFileHandlingFromRaw(raw);
    if (!handling) return false;
    out = *handling;
    return true;
}

// ---- store ------------------------------------------------------------------

std::mutex storeMutex;
QString storeFile;  // empty: the user's own store

std::unique_ptr<QSettings> openStore() {
    std::lock_guard lock(storeMutex);
    if (storeFile.isEmpty()) return std::make_unique<QSettings>(QStringLiteral("Twinfold"), QStringLiteral("Twinfold"));
    return std::make_unique<QSettings>(storeFile, QSettings::IniFormat);
}

}  // namespace

QByteArray encodeAppSettings(const AppSettings& settings) {
    std::string json = "{";
    bool ok = true;
    appendKey(json, "namingSuffix");
    ok = ok && appendString(json, settings.namingSuffix);
    appendKey(json, "originalFileHandling");
    ok = ok && appendString(json, title(settings.originalFileHandling));
    appendKey(json, "normalizationEnabled");
    appendBool(json, settings.normalizationEnabled);
    appendKey(json, "normalizationTargetdBFS");
    ok = ok && appendFloat(json, settings.normalizationTargetdBFS);
    appendKey(json, "silenceThresholddBFS");
    ok = ok && appendFloat(json, settings.silenceThresholddBFS);
    appendKey(json, "includePanInFilename");
    appendBool(json, settings.includePanInFilename);
    appendKey(json, "nameSplitsByTrackName");
    appendBool(json, settings.nameSplitsByTrackName);
    appendKey(json, "checkForUpdatesOnLaunch");
    appendBool(json, settings.checkForUpdatesOnLaunch);
    if (settings.skippedUpdateVersion) {
        appendKey(json, "skippedUpdateVersion");
        ok = ok && appendString(json, *settings.skippedUpdateVersion);
    }
    appendKey(json, "resultsSortColumn");
    ok = ok && appendString(json, settings.resultsSortColumn);
    appendKey(json, "resultsSortAscending");
    appendBool(json, settings.resultsSortAscending);
    appendKey(json, "showFolderColumn");
    appendBool(json, settings.showFolderColumn);
    json += '}';
    if (!ok) return {};
    return QByteArray(json.data(), static_cast<qsizetype>(json.size()));
}

std::optional<AppSettings> decodeAppSettings(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    AppSettings settings;
    const bool ok = read(object, "namingSuffix", settings.namingSuffix) &&
                    read(object, "originalFileHandling", settings.originalFileHandling) &&
                    read(object, "normalizationEnabled", settings.normalizationEnabled) &&
                    read(object, "normalizationTargetdBFS", settings.normalizationTargetdBFS) &&
                    read(object, "silenceThresholddBFS", settings.silenceThresholddBFS) &&
                    read(object, "includePanInFilename", settings.includePanInFilename) &&
                    read(object, "nameSplitsByTrackName", settings.nameSplitsByTrackName) &&
                    read(object, "checkForUpdatesOnLaunch", settings.checkForUpdatesOnLaunch) &&
                    read(object, "skippedUpdateVersion", settings.skippedUpdateVersion) &&
                    read(object, "resultsSortColumn", settings.resultsSortColumn) &&
                    read(object, "resultsSortAscending", settings.resultsSortAscending) &&
                    read(object, "showFolderColumn", settings.showFolderColumn);
    if (!ok) return std::nullopt;
    return settings;
}

std::optional<AppSettings> loadStoredAppSettings() {
    const auto store = openStore();
    const QVariant stored = store->value(recordKey);
    if (!stored.isValid()) return std::nullopt;
    return decodeAppSettings(stored.toByteArray());
}

AppSettings loadAppSettings() { return loadStoredAppSettings().value_or(AppSettings{}); }

void saveAppSettings(const AppSettings& settings) {
    const QByteArray json = encodeAppSettings(settings);
    if (json.isEmpty()) return;  // not encodable: keep what is stored
    const auto store = openStore();
    store->setValue(recordKey, json);
    store->sync();
}

AppSettings updateAppSettings(const std::function<void(AppSettings&)>& change) {
    static std::mutex updating;
    std::lock_guard lock(updating);
    AppSettings settings = loadAppSettings();
    change(settings);
    saveAppSettings(settings);
    return settings;
}

bool hideLossyFormatNotice() { return openStore()->value(hideLossyNoticeKey, false).toBool(); }

void setHideLossyFormatNotice(bool hide) {
    const auto store = openStore();
    store->setValue(hideLossyNoticeKey, hide);
    store->sync();
}

void setSettingsStoreFile(const QString& path) {
    std::lock_guard lock(storeMutex);
    storeFile = path;
}

}  // namespace twinfold
