#pragma once

#include "records/AppSettings.h"
#include "records/SettingsService.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace twinfold {

// The stored settings record: JSON bytes under "TwinfoldSettings" in the
// per-user store (QSettings, organisation and application "Twinfold"),
// beside the separate boolean "hideLossyFormatNotice".

// The stored record, or the defaults when there is none or it cannot be decoded.
AppSettings loadAppSettings();
// The stored record; none when there is none or it cannot be decoded.
std::optional<AppSettings> loadStoredAppSettings();
// Encodes the whole record and replaces the stored one; reports nothing.
void saveAppSettings(const AppSettings& settings);
// Loads the stored record, lets `change` edit it and saves it, as one step
// against other writers in this process, and returns it. The running
// program changes settings only this way, through the SettingsStore below,
// so no save puts back a member another part has changed since it loaded
// its copy.
AppSettings updateAppSettings(const std::function<void(AppSettings&)>& change);

bool hideLossyFormatNotice();
void setHideLossyFormatNotice(bool hide);

// JSON form of the record: members in declaration order, the optional
// skipped version left out when absent. Empty when the record cannot be
// encoded (text that is not UTF-8, a number that is not finite).
QByteArray encodeAppSettings(const AppSettings& settings);
// Every member optional; a wrong type or unknown handling value fails the whole decode.
std::optional<AppSettings> decodeAppSettings(const QByteArray& json);

// The settings service over the store above. Each front end makes one for
// the life of the process and passes it to the view models; it reads the
// stored record on every call, so a change another process saved is seen.
class SettingsStore final : public SettingsService {
public:
    AppSettings current() const override { return loadAppSettings(); }
    std::optional<AppSettings> stored() const override { return loadStoredAppSettings(); }
    AppSettings update(const std::function<void(AppSettings&)>& change) override { return updateAppSettings(change); }
    bool hideLossyFormatNotice() const override { return twinfold::hideLossyFormatNotice(); }
    void setHideLossyFormatNotice(bool hide) override { twinfold::setHideLossyFormatNotice(hide); }
};

// Points the store at an INI file instead of the user's own settings, so
// tests never touch them. An empty path restores the user's store.
void setSettingsStoreFile(const QString& path);

}  // namespace twinfold
