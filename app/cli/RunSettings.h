#pragma once

// The settings one command-line run uses: the window's stored settings (or,
// with --defaults or when none are stored, the built-in ones) with the run's
// options on top, and for each setting where its value came from, so the
// plan can say so.

#include "CommandLine.h"
#include "conversion/ConversionPlan.h"
#include "records/AppSettings.h"

#include <optional>
#include <string>

namespace twinfold::cli {

enum class SettingSource { stored, option, builtIn };

// "stored", "option", "default"
const char* sourceName(SettingSource source);

struct SettingSources {
    SettingSource suffix = SettingSource::stored;
    SettingSource panInName = SettingSource::stored;
    SettingSource normalize = SettingSource::stored;
    SettingSource originals = SettingSource::stored;
    SettingSource threshold = SettingSource::stored;
    SettingSource phase = SettingSource::builtIn;  // never stored
    SettingSource multichannel = SettingSource::builtIn;
};

struct RunSettings {
    AppSettings settings;
    PlanOptions options;
    SettingSources sources;
};

// `stored` is none when the user has saved no settings.
RunSettings settingsForRun(const std::optional<AppSettings>& stored, const ConvertCommand& command);
AppSettings settingsForScan(const AppSettings& stored, const ScanCommand& command);

}  // namespace twinfold::cli
