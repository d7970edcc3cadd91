#pragma once

// The command line of twinfold-cli: five commands, their options, and the
// help texts. Parsing only; nothing here touches files or settings.

#include "records/AppSettings.h"
#include "conversion/ConversionOptions.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace twinfold::cli {

// Which files of a scan are left out: a file is excluded when a GLOB
// (fnmatch(3), "*" also across "/") matches its name, its path relative to
// the named folder it was found in, or that of a folder on the way.
struct Exclusions {
    std::vector<std::string> globs;
};

// How the files are found and analysed, for scan and convert alike.
struct LibraryOptions {
    bool noCache = false;                            // analyse every file, ignore the cache
    std::optional<int> jobs;                         // workers; one per core when absent
    std::optional<std::filesystem::path> filesFrom;  // more paths, one a line ("-": standard input)
};

struct ScanCommand {
    std::vector<std::filesystem::path> paths;
    bool json = false;
    bool jsonl = false;  // one JSON object a line, each file as soon as it is analysed
    LibraryOptions library;
    bool defaults = false;  // the built-in settings instead of the stored ones
    std::optional<float> thresholddBFS;
    Exclusions exclusions;
};

// Every optional member left empty keeps the stored setting (or, with
// --defaults, the built-in one) for this run.
struct ConvertCommand {
    std::vector<std::filesystem::path> paths;
    LibraryOptions library;
    bool yes = false;
    bool skipExisting = false;
    bool json = false;
    bool dryRun = false;
    bool defaults = false;
    std::optional<std::string> suffix;
    std::optional<bool> panInName;
    std::optional<bool> trackNames;  // name split outputs by the recorder's track names
    bool includeDiffering = false;   // also convert panned files that differ from a pan
    std::optional<bool> normalize;
    std::optional<float> normalizedBFS;
    std::optional<OriginalFileHandling> originals;
    std::optional<PhaseFixOption> phase;
    std::optional<MultichannelConversionOption> multichannel;
    std::optional<float> thresholddBFS;
    Exclusions exclusions;
    std::optional<std::filesystem::path> logFile;
};

// The evidence behind the verdict on each file; --difference writes what a
// conversion of the one FILE would leave out.
struct ShowCommand {
    std::vector<std::filesystem::path> paths;
    bool json = false;
    std::optional<std::filesystem::path> difference;
    bool defaults = false;
    std::optional<float> thresholddBFS;
};

struct RestoreCommand {
    std::filesystem::path backupFolder;
    bool removeOutputs = false;
};

struct DemoCommand {
    std::filesystem::path directory;
};

// --help or --version: print the text on standard output and succeed.
struct InformationRequest {
    std::string text;
};

using Command = std::variant<InformationRequest, ScanCommand, ConvertCommand, ShowCommand, RestoreCommand, DemoCommand>;

// A command line that cannot be understood; what() says why. `command` is
// the command it was meant for ("" before one was named), so the message
// can point to the right --help.
class UsageError : public std::runtime_error {
public:
    UsageError(const std::string& message, std::string command)
        : std::runtime_error(message), command_(std::move(command)) {}
    const std::string& command() const { return command_; }

private:
    std::string command_;
};

// `arguments` excludes the program name. Throws UsageError.
Command parseCommandLine(const std::vector<std::string>& arguments);

// The help text of a command ("" for the program as a whole).
std::string helpText(const std::string& command);

}  // namespace twinfold::cli
