#include "RunSettings.h"

namespace twinfold::cli {

namespace {

// Sets `value` from the option when given, and records where it came from.
template <typename T, typename Option>
void apply(T& value, SettingSource& source, const std::optional<Option>& option) {
    if (!option) return;
    value = *option;
    source = SettingSource::option;
}

}  // namespace

const char* sourceName(SettingSource source) {
    switch (source) {
    case SettingSource::stored: return "stored";
    case SettingSource::option: return "option";
    case SettingSource::builtIn: return "default";
    }
    return "default";
}

RunSettings settingsForRun(const std::optional<AppSettings>& stored, const ConvertCommand& c) {
    const bool builtIn = c.defaults || !stored;
    RunSettings run{builtIn ? AppSettings{} : *stored, {}, {}};
    if (builtIn) {
        const SettingSource d = SettingSource::builtIn;
        run.sources = {d, d, d, d, d, d, d};
    }
    AppSettings& s = run.settings;
    apply(s.namingSuffix, run.sources.suffix, c.suffix);
    apply(s.includePanInFilename, run.sources.panInName, c.panInName);
    if (c.trackNames) s.nameSplitsByTrackName = *c.trackNames;
    apply(s.normalizationEnabled, run.sources.normalize, c.normalize);
    if (c.normalizedBFS) s.normalizationTargetdBFS = *c.normalizedBFS;
    apply(s.originalFileHandling, run.sources.originals, c.originals);
    apply(s.silenceThresholddBFS, run.sources.threshold, c.thresholddBFS);
    apply(run.options.phaseFixOption, run.sources.phase, c.phase);
    apply(run.options.multichannelOption, run.sources.multichannel, c.multichannel);
    return run;
}

AppSettings settingsForScan(const AppSettings& stored, const ScanCommand& command) {
    AppSettings settings = command.defaults ? AppSettings{} : stored;
    if (command.thresholddBFS) settings.silenceThresholddBFS = *command.thresholddBFS;
    return settings;
}

}  // namespace twinfold::cli
