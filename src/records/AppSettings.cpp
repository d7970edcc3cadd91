#include "records/AppSettings.h"

namespace twinfold {

std::string_view rawValue(OriginalFileHandling handling) {
    switch (handling) {
    case OriginalFileHandling::moveToBackup: return "Move originals to backup folder";
    case OriginalFileHandling::deleteOriginals: return "Delete originals";
    case OriginalFileHandling::leaveInPlace: return "Leave originals in place";
    }
    return {};
}

std::optional<OriginalFileHandling> originalFileHandlingFromRaw(std::string_view raw) {
    for (auto h : allOriginalFileHandlings()) {
        if (rawValue(h) == raw) return h;
    }
    return std::nullopt;
}

const std::vector<OriginalFileHandling>& allOriginalFileHandlings() {
    static const std::vector<OriginalFileHandling> all{OriginalFileHandling::moveToBackup,
                                                       OriginalFileHandling::deleteOriginals,
                                                       OriginalFileHandling::leaveInPlace};
    return all;
}

}  // namespace twinfold
