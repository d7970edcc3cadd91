#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinfold {

enum class OriginalFileHandling { moveToBackup, deleteOriginals, leaveInPlace };

// The stored form and the text shown in the picker.
std::string_view title(OriginalFileHandling handling);
std::optional<OriginalFileHandling> originalFileHandlingFromRaw(std::string_view raw);
// In picker order.
const std::vector<OriginalFileHandling>& allOriginalFileHandlings();

// The user's preferences, a plain value. Its JSON form and its store live in
// the workflow layer.
struct AppSettings {
    std::string namingSuffix = "_mono";
    OriginalFileHandling originalFileHandling = OriginalFileHandling::moveToBackup;
    bool normalizationEnabled = false;
    float normalizationTargetdBFS = -6.0f;
    float silenceThresholddBFS = -96.0f;
    bool includePanInFilename = false;
    // Split outputs named by the recorder's track names (when every channel
    // has a distinct name fit for a file name) instead of channel numbers.
    bool nameSplitsByTrackName = false;
    bool checkForUpdatesOnLaunch = true;
    std::optional<std::string> skippedUpdateVersion;
    // The results table: the column its rows are sorted by (by name, so a
    // new column does not shift it), the direction, and the Folder column.
    std::string resultsSortColumn = "filename";
    bool resultsSortAscending = true;
    bool showFolderColumn = true;

    bool operator==(const AppSettings&) const = default;
};

// `base` with every member that differs between `before` and `after` set as
// in `after`: one owner's change applied to the record as others left it.
AppSettings withChanges(AppSettings base, const AppSettings& before, const AppSettings& after);

}  // namespace twinfold
