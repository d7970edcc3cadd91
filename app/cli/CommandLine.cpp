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

const char* const programHelp =
    "Usage: twinfold-cli COMMAND [OPTIONS] ...\n"
    "       twinfold-cli help COMMAND | --help | --version\n"
    "\n"
    "Finds audio files whose channels carry redundant content and converts them\n"
    "to true mono, bit-exact, without a window.\n"
    "\n"
    "Commands:\n"
    "  scan PATH...            list what each audio file holds and what converting would save\n"
    "  convert PATH...         convert every convertible file to mono\n"
    "  restore BACKUP_FOLDER   put the originals of a \"Twinfold Backup\" folder back\n"
    "  demo DIR                write a small library of example files into DIR\n"
    "\n"
    "PATHs are audio files or folders, handled as if dropped onto the window.\n"
    "scan and convert use the window's stored settings unless --defaults is given.\n"
    "Results go to standard output, errors and progress to standard error.\n"
    "Run 'twinfold-cli help COMMAND' for the options of a command.\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help\n"
    "  -v, --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0    success (also a dry run, and nothing to convert)\n"
    "  1    failure: a scan, conversion, restore or demo could not be done\n"
    "  2    usage error: the command line could not be understood\n"
    "  3    conversion not confirmed (declined, or no terminal and no --yes)\n"
    "  4    converted (or restored), but some originals were not handled as\n"
    "       asked, or a restore left something in place; each is named on stderr\n"
    "  129  stopped by SIGHUP (the terminal closed)\n"
    "  130  cancelled with Ctrl-C (SIGINT)\n"
    "  143  stopped by SIGTERM\n"
    "A conversion stopped by a signal keeps the files finished so far and\n"
    "touches no original.\n";

const char* const scanHelp =
    "Usage: twinfold-cli scan [OPTIONS] PATH...\n"
    "\n"
    "Scans audio files and folders (recursively) and prints one row per file or\n"
    "split .L/.R pair, then the summary figures. Files that cannot be read are\n"
    "named on standard error.\n"
    "\n"
    "Options:\n"
    "  --json             print one JSON document (schemaVersion 1) with \"results\",\n"
    "                     \"errors\" and \"summary\"; display texts such as\n"
    "                     \"statusText\" have a stable identifier beside them\n"
    "                     (\"status\"); a path that is not valid UTF-8 also has\n"
    "                     \"pathBytes\", the base64 of its bytes\n"
    "  --jsonl            print one JSON object a line (schemaVersion 1), each file\n"
    "                     as soon as it is analysed, in the order they finish; a\n"
    "                     file that cannot be read is {\"path\", \"error\"}\n"
    "  --files-from FILE  also scan the paths listed in FILE, one a line ('-':\n"
    "                     standard input)\n"
    "  --jobs N           analyse N files at once (default: one per core)\n"
    "  --no-cache         analyse every file again; do not use or fill the cache\n"
    "  --exclude GLOB     leave out files whose name, or path relative to the named\n"
    "                     folder, matches GLOB (repeatable; '*' also matches '/')\n"
    "  --threshold DBFS   silence threshold for this run\n"
    "  --defaults         ignore the stored settings; use the built-in ones\n"
    "  -h, --help         show this help\n";

const char* const convertHelp =
    "Usage: twinfold-cli convert [OPTIONS] PATH...\n"
    "\n"
    "Scans like 'scan', selects every convertible file, prints the plan, asks for\n"
    "confirmation and converts. Mono files are written beside their sources; the\n"
    "originals are then handled as the settings (or --originals) say. Options\n"
    "apply to this run only; the stored settings are never changed. The plan\n"
    "says where each setting came from: option, stored or default. --files-from,\n"
    "--jobs and --no-cache work as for 'scan'.\n"
    "\n"
    "Files inside a \"Twinfold Backup\" folder are left alone unless that folder\n"
    "(or a file in it) is named as a PATH. A panned-mono file whose quieter side\n"
    "carries content of its own (\"differs by N dB\") is left alone unless\n"
    "--include-differing is given: converting it would discard that content.\n"
    "\n"
    "Options:\n"
    "  --yes                  convert without asking (required when not on a terminal)\n"
    "  --dry-run              print the plan and exit 0; nothing is written\n"
    "  --json                 print the plan and the outcome (outputs written,\n"
    "                         what became of each original, problems) as one\n"
    "                         JSON document (schemaVersion 1) instead of text\n"
    "  --log FILE             append a plain-text record of the conversion to FILE\n"
    "  --exclude GLOB         leave out matching files, as for 'scan' (repeatable)\n"
    "  --defaults             ignore the stored settings; use the built-in ones\n"
    "  --[no-]skip-existing   convert the other files when some outputs cannot be\n"
    "                         written (a name taken or too long, two sources to one\n"
    "                         name); without it such a plan converts nothing\n"
    "  --[no-]include-differing\n"
    "                         also convert panned-mono files that differ from a pan\n"
    "  --suffix S             name suffix of the outputs (default: _mono)\n"
    "  --[no-]pan-in-name     add the pan position (_69L) to panned-mono outputs\n"
    "  --normalize DBFS       peak-normalise the outputs to DBFS (at most 0)\n"
    "  --no-normalize         do not normalise\n"
    "  --originals backup|delete|keep\n"
    "                         move the originals into a \"Twinfold Backup\" folder\n"
    "                         (undo with 'restore'), delete them, or leave them\n"
    "  --phase left|right|split\n"
    "                         phase-inverted files: keep the left or the right\n"
    "                         channel, or write both as two mono files (default: left)\n"
    "  --multichannel split|remove\n"
    "                         multichannel files: one mono file per channel, or one\n"
    "                         file without the silent and duplicate channels\n"
    "                         (default: split)\n"
    "  --threshold DBFS       silence threshold for the scan (default: -96)\n"
    "  -h, --help             show this help\n"
    "\n"
    "Exit status 4: the files were converted, but some originals could not be\n"
    "moved or deleted as asked; each is named on stderr.\n";

const char* const restoreHelp =
    "Usage: twinfold-cli restore [--remove-outputs] BACKUP_FOLDER\n"
    "\n"
    "Moves every original recorded in the backup folder's manifest\n"
    "(twinfold-manifest.jsonl) back to where it came from, below the folder that\n"
    "holds the backup folder. A file is never replaced: an original whose place\n"
    "is taken stays in the backup folder and is named on stderr (exit status 4).\n"
    "When every original is back, the emptied backup folder is removed.\n"
    "\n"
    "Options:\n"
    "  --[no-]remove-outputs  also delete the mono files written from the restored\n"
    "                         originals, if they are unchanged (same SHA-256 as\n"
    "                         recorded); a changed one is kept and named on stderr\n"
    "  -h, --help             show this help\n";

const char* const demoHelp =
    "Usage: twinfold-cli demo DIR\n"
    "\n"
    "Writes a small library of example files into DIR (created if missing): one\n"
    "file of every kind Twinfold recognises, a split .L/.R pair, a 5.1 file with a\n"
    "duplicate and a silent channel, an MP3, an M4A and a broadcast WAV with\n"
    "metadata. Existing files are never overwritten.\n"
    "\n"
    "Options:\n"
    "  -h, --help   show this help\n";

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
    Values values{{"--threshold", [&](const std::string& v) { scan.thresholddBFS = parseLevel(reader, "--threshold", v); }},
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
                {"--include-differing", [&] { c.includeDiffering = true; }},
                {"--no-include-differing", [&] { c.includeDiffering = false; }},
                {"--no-normalize", [&] { c.normalize = false; }}};
    addHelp(flags, help);
    Values values{{"--suffix",
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
         {"--log",
          [&](const std::string& v) {
              if (v.empty()) reader.fail("option '--log' needs a FILE");
              c.logFile = v;
          }}};
    addLibraryOptions(flags, values, reader, c.library);
    const auto operands = reader.read(flags, values);
    if (!help) c.paths = toPaths(reader, operands, c.library.filesFrom.has_value());
    return c;
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
    const auto operands =
        reader.read({{"--help", [&] { help = true; }}, {"-h", [&] { help = true; }}}, {});
    if (help) return DemoCommand{};
    if (operands.size() != 1) reader.fail(operands.empty() ? "no DIR given" : "demo takes exactly one DIR");
    return DemoCommand{operands.front()};
}

}  // namespace

std::string helpText(const std::string& command) {
    if (command == "scan") return scanHelp;
    if (command == "convert") return convertHelp;
    if (command == "restore") return restoreHelp;
    if (command == "demo") return demoHelp;
    return programHelp;
}

Command parseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) throw UsageError("no command given", "");
    const std::string& command = arguments.front();
    using Parser = Command (*)(const std::vector<std::string>&, bool&);
    const std::map<std::string, Parser> parsers{
        {"scan", parseScan}, {"convert", parseConvert}, {"restore", parseRestore}, {"demo", parseDemo}};
    if (command == "--help" || command == "-h") return InformationRequest{programHelp};
    if (command == "--version" || command == "-v") return InformationRequest{"twinfold-cli " TWINFOLD_VERSION "\n"};
    if (command == "help") {
        if (arguments.size() > 2) throw UsageError("help takes at most one COMMAND", "");
        if (arguments.size() == 1) return InformationRequest{programHelp};
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
