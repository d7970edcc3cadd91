#include "records/AppSettings.h"

namespace twinfold {

std::string_view title(OriginalFileHandling handling) {
    switch (handling) {
    case OriginalFileHandling::moveToBackup: return "Move originals to backup folder";
    case OriginalFileHandling::deleteOriginals: return "Delete originals";
    case OriginalFileHandling::leaveInPlace: return "Leave originals in place";
    }
    return {};
}

std::optional<OriginalFileHandling> originalFileHandlingFromRaw(std::string_view raw) {
    for (auto h : allOriginalFileHandlings()) {
        if (title(h) == raw) return h;
    }
    return std::nullopt;
}

const std::vector<OriginalFileHandling>& allOriginalFileHandlings() {
    static const std::vector<OriginalFileHandling> all{
        OriginalFileHandling::moveToBackup, OriginalFileHandling::deleteOriginals, OriginalFileHandling::leaveInPlace};
    return all;
}

AppSettings withChanges(AppSettings base, const AppSettings& before, const AppSettings& after) {
    auto carry = [](auto& into, const auto& was, const auto& now) {
        if (!(was == now)) into = now;
    };
    carry(base.namingSuffix, before.namingSuffix, after.namingSuffix);
    carry(base.originalFileHandling, before.originalFileHandling, after.originalFileHandling);
    carry(base.normalizationEnabled, before.normalizationEnabled, after.normalizationEnabled);
    carry(base.normalizationTargetdBFS, before.normalizationTargetdBFS, after.normalizationTargetdBFS);
    carry(base.silenceThresholddBFS, before.silenceThresholddBFS, after.silenceThresholddBFS);
    carry(base.includePanInFilename, before.includePanInFilename, after.includePanInFilename);
    carry(base.nameSplitsByTrackName, before.nameSplitsByTrackName, after.nameSplitsByTrackName);
    carry(base.checkForUpdatesOnLaunch, before.checkForUpdatesOnLaunch, after.checkForUpdatesOnLaunch);
    carry(base.skippedUpdateVersion, before.skippedUpdateVersion, after.skippedUpdateVersion);
    carry(base.resultsSortColumn, before.resultsSortColumn, after.resultsSortColumn);
    carry(base.resultsSortAscending, before.resultsSortAscending, after.resultsSortAscending);
    carry(base.showFolderColumn, before.showFolderColumn, after.showFolderColumn);
    return base;
}

}  // namespace twinfold
