#include "CommandLine.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

#ifndef TWINFOLD_VERSION
#define TWINFOLD_VERSION "unknown"
#endif

namespace twinfold::cli {

namespace {

// Walks the arguments of one command, separating options from operands.
class ArgumentReader {
public:
    ArgumentReader(const std::vector<std::string>& arguments, std::string command)
        : arguments_(arguments), command_(std::move(command)) {}

    // Calls onFlag(name) / onValue(name, value) for options and collects operands.
    std::vector<std::string> read(const std::map<std::string, std::function<void()>>& flags,
                                  const std::map<std::string, std::function<void(const std::string&)>>& values) {
        std::vector<std::string> operands;
        bool optionsEnded = false;
        for (index_ = 1; index_ < arguments_.size(); ++index_) {
            const std::string& argument = arguments_[index_];
            if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
                operands.push_back(argument);
            } else if (argument == "--") {
                optionsEnded = true;
            } else {
                readOption(argument, flags, values);
            }
        }
        return operands;
    }

    [[noreturn]] void fail(const std::string& message) const { throw UsageError(message, command_); }

private:
    void readOption(const std::string& argument, const std::map<std::string, std::function<void()>>& flags,
                    const std::map<std::string, std::function<void(const std::string&)>>& values) {
        const auto equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        if (const auto flag = flags.find(name); flag != flags.end()) {
            if (equals != std::string::npos) fail("option '" + name + "' takes no value");
            flag->second();
        } else if (const auto value = values.find(name); value != values.end()) {
            if (equals != std::string::npos) {
                value->second(argument.substr(equals + 1));
            } else if (index_ + 1 < arguments_.size()) {
                value->second(arguments_[++index_]);
            } else {
                fail("option '" + name + "' needs a value");
            }
        } else {
            fail("unknown option '" + name + "'");
        }
    }

    const std::vector<std::string>& arguments_;
    std::string command_;
    std::size_t index_ = 1;
};

float parseLevel(const ArgumentReader& reader, const std::string& option, const std::string& text) {
    float value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || ptr != end || !std::isfinite(value))
        reader.fail("option '" + option + "' needs a level in dBFS, such as -60, not '" + text + "'");
    return value;
}

template <typename T>
T parseChoice(const ArgumentReader& reader, const std::string& option, const std::string& text,
              const std::map<std::string, T>& choices) {
    if (const auto it = choices.find(text); it != choices.end()) return it->second;
    std::string names;
    for (const auto& [name, value] : choices) names += (names.empty() ? "" : ", ") + name;
    reader.fail("option '" + option + "' must be one of " + names + ", not '" + text + "'");
}

std::vector<std::filesystem::path> toPaths(const ArgumentReader& reader, const std::vector<std::string>& operands,
                                           bool pathsElsewhere = false) {
    if (operands.empty() && !pathsElsewhere) reader.fail("no PATH given");
    return {operands.begin(), operands.end()};
}

int parseJobs(const ArgumentReader& reader, const std::string& value) {
    int jobs = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
    if (error != std::errc() || end != value.data() + value.size() || jobs < 1 || jobs > 256)
        reader.fail("option '--jobs' takes a whole number from 1 to 256");
    return jobs;
}

using Flags = std::map<std::string, std::function<void()>>;
using Values = std::map<std::string, std::function<void(const std::string&)>>;

void addLibraryOptions(Flags& flags, Values& values, const ArgumentReader& reader, LibraryOptions& library) {
    flags["--no-cache"] = [&] { library.noCache = true; };
    values["--jobs"] = [&](const std::string& v) { library.jobs = parseJobs(reader, v); };
    values["--files-from"] = [&](const std::string& v) { library.filesFrom = v; };
}

void addHelp(Flags& flags, bool& help) {
    flags["--help"] = [&] { help = true; };
    flags["-h"] = [&] { help = true; };
}

Command parseScan(const std::vector<std::string>& arguments, bool& help) {
    ScanCommand scan;
    ArgumentReader reader(arguments, "scan");
    Flags flags{{"--json", [&] { scan.json = true; }},
                {"--jsonl", [&] { scan.jsonl = true; }},
                {"--defaults", [&] { scan.defaults = true; }}};
    addHelp(flags, help);
    Values values{
        {"--threshold", [&](const std::string& v) { scan.thresholddBFS = parseLevel(reader, "--threshold", v); }},
        {"--exclude", [&](const std::string& v) { scan.exclusions.globs.push_back(v); }}};
    addLibraryOptions(flags, values, reader, scan.library);
    const auto operands = reader.read(flags, values);
    if (scan.json && scan.jsonl) reader.fail("options '--json' and '--jsonl' cannot be combined");
    if (!help) scan.paths = toPaths(reader, operands, scan.library.filesFrom.has_value());
    return scan;
}

void checkSuffix(const ArgumentReader& reader, const std::string& suffix) {
    // The suffix becomes part of a file name beside the source; a separator
    // would put the output into another folder.
    if (suffix.find('/') != std::string::npos || suffix.find('\0') != std::string::npos)
        reader.fail("option '--suffix' must not contain '/'");
}

Command parseConvert(const std::vector<std::string>& arguments, bool& help) {
    ConvertCommand c;
    ArgumentReader reader(arguments, "convert");
    const std::map<std::string, OriginalFileHandling> originals{{"backup", OriginalFileHandling::moveToBackup},
                                                                {"delete", OriginalFileHandling::deleteOriginals},
                                                                {"keep", OriginalFileHandling::leaveInPlace}};
    const std::map<std::string, PhaseFixOption> phases{
        {"left", PhaseFixOption::useLeft}, {"right", PhaseFixOption::useRight}, {"split", PhaseFixOption::splitToTwo}};
    const std::map<std::string, MultichannelConversionOption> multichannel{
        {"split", MultichannelConversionOption::splitAllToMono},
        {"remove", MultichannelConversionOption::removeRedundant}};
    Flags flags{{"--yes", [&] { c.yes = true; }},
                {"--json", [&] { c.json = true; }},
                {"--dry-run", [&] { c.dryRun = true; }},
                {"--defaults", [&] { c.defaults = true; }},
                {"--skip-existing", [&] { c.skipExisting = true; }},
                {"--no-skip-existing", [&] { c.skipExisting = false; }},
                {"--pan-in-name", [&] { c.panInName = true; }},
                {"--no-pan-in-name", [&] { c.panInName = false; }},
                {"--track-names", [&] { c.trackNames = true; }},
                {"--no-track-names", [&] { c.trackNames = false; }},
                {"--include-differing", [&] { c.includeDiffering = true; }},
                {"--no-include-differing", [&] { c.includeDiffering = false; }},
                {"--no-normalize", [&] { c.normalize = false; }}};
    addHelp(flags, help);
    Values values{
        {"--suffix",
         [&](const std::string& v) {
             checkSuffix(reader, v);
             c.suffix = v;
         }},
        {"--normalize",
         [&](const std::string& v) {
             c.normalizedBFS = parseLevel(reader, "--normalize", v);
             c.normalize = true;
             if (*c.normalizedBFS > 0) reader.fail("option '--normalize' must be at most 0 dBFS");
         }},
        {"--originals", [&](const std::string& v) { c.originals = parseChoice(reader, "--originals", v, originals); }},
        {"--phase", [&](const std::string& v) { c.phase = parseChoice(reader, "--phase", v, phases); }},
        {"--multichannel",
         [&](const std::string& v) { c.multichannel = parseChoice(reader, "--multichannel", v, multichannel); }},
        {"--threshold", [&](const std::string& v) { c.thresholddBFS = parseLevel(reader, "--threshold", v); }},
        {"--exclude", [&](const std::string& v) { c.exclusions.globs.push_back(v); }},
        {"--log", [&](const std::string& v) {
             if (v.empty()) reader.fail("option '--log' needs a FILE");
             c.logFile = v;
         }}};
    addLibraryOptions(flags, values, reader, c.library);
    const auto operands = reader.read(flags, values);
    if (!help) c.paths = toPaths(reader, operands, c.library.filesFrom.has_value());
    return c;
}

Command parseShow(const std::vector<std::string>& arguments, bool& help) {
    ShowCommand show;
    ArgumentReader reader(arguments, "show");
    Flags flags{{"--json", [&] { show.json = true; }}, {"--defaults", [&] { show.defaults = true; }}};
    addHelp(flags, help);
    Values values{
        {"--threshold", [&](const std::string& v) { show.thresholddBFS = parseLevel(reader, "--threshold", v); }},
        {"--difference", [&](const std::string& v) {
             if (v.empty()) reader.fail("option '--difference' needs a FILE");
             show.difference = v;
         }}};
    const auto operands = reader.read(flags, values);
    if (help) return show;
    show.paths = toPaths(reader, operands);
    if (show.difference && show.paths.size() != 1) reader.fail("option '--difference' takes exactly one FILE");
    return show;
}

Command parseRestore(const std::vector<std::string>& arguments, bool& help) {
    RestoreCommand restore;
    ArgumentReader reader(arguments, "restore");
    Flags flags{{"--remove-outputs", [&] { restore.removeOutputs = true; }},
                {"--no-remove-outputs", [&] { restore.removeOutputs = false; }}};
    addHelp(flags, help);
    const auto operands = reader.read(flags, {});
    if (help) return restore;
    if (operands.size() != 1)
        reader.fail(operands.empty() ? "no BACKUP_FOLDER given" : "restore takes exactly one BACKUP_FOLDER");
    restore.backupFolder = operands.front();
    return restore;
}

Command parseDemo(const std::vector<std::string>& arguments, bool& help) {
    ArgumentReader reader(arguments, "demo");
    const auto operands = reader.read({{"--help", [&] { help = true; }}, {"-h", [&] { help = true; }}}, {});
    if (help) return DemoCommand{};
    if (operands.size() != 1) reader.fail(operands.empty() ? "no DIR given" : "demo takes exactly one DIR");
    return DemoCommand{operands.front()};
}

}  // namespace

Command parseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) throw UsageError("no command given", "");
    const std::string& command = arguments.front();
    using Parser = Command (*)(const std::vector<std::string>&, bool&);
    const std::map<std::string, Parser> parsers{{"scan", parseScan},
                                                {"convert", parseConvert},
                                                {"show", parseShow},
                                                {"restore", parseRestore},
                                                {"demo", parseDemo}};
    if (command == "--help" || command == "-h") return InformationRequest{helpText("")};
    if (command == "--version" || command == "-v") return InformationRequest{"twinfold-cli " TWINFOLD_VERSION "\n"};
    if (command == "help") {
        if (arguments.size() > 2) throw UsageError("help takes at most one COMMAND", "");
        if (arguments.size() == 1) return InformationRequest{helpText("")};
        if (!parsers.contains(arguments[1])) throw UsageError("unknown command '" + arguments[1] + "'", "");
        return InformationRequest{helpText(arguments[1])};
    }
    const auto parser = parsers.find(command);
    if (parser == parsers.end()) throw UsageError("unknown command '" + command + "'", "");
    bool help = false;
    Command parsed = parser->second(arguments, help);
    if (help) return InformationRequest{helpText(command)};
    return parsed;
}

}  // namespace twinfold::cli
