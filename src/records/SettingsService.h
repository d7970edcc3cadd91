#pragma once

#include "records/AppSettings.h"

#include <functional>
#include <optional>

namespace twinfold {

// The one owner of the user's preferences in a running program. A front end
// makes one and hands it to every part that reads or changes them, so each
// change is applied to the record as it stands and none puts back a member
// another part has changed since.
class SettingsService {
public:
    virtual ~SettingsService() = default;

    virtual AppSettings current() const = 0;
    // The settings the user has saved; none when there are none, and then
    // current() is the built-in defaults.
    virtual std::optional<AppSettings> stored() const = 0;
    // Lets `change` edit the record as it stands and keeps the result, as
    // one step against other changes; returns the record as kept.
    virtual AppSettings update(const std::function<void(AppSettings&)>& change) = 0;

    // "Don't show again" on the notice about lossy sources.
    virtual bool hideLossyFormatNotice() const = 0;
    virtual void setHideLossyFormatNotice(bool hide) = 0;
};

}  // namespace twinfold
