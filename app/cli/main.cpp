// twinfold-cli: the headless front end. It drives the same ScanViewModel as
// the window, with the command line in place of the window's controls.
#include "CommandLine.h"
#include "Commands.h"
#include "ExitCode.h"
#include "Terminal.h"
#include "workflow/SettingsStore.h"

#include <QCoreApplication>

#include <iostream>
#include <string>
#include <type_traits>

using namespace twinfold::cli;

namespace {

ExitCode run(const Command& command, twinfold::SettingsService& settings) {
    return std::visit(
        [&](const auto& c) {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, InformationRequest>) {
                std::cout << c.text << std::flush;
                return ExitCode::success;
            } else if constexpr (std::is_same_v<T, ScanCommand>) {
                return runScan(c, settings);
            } else if constexpr (std::is_same_v<T, ConvertCommand>) {
                return runConvert(c, settings);
            } else if constexpr (std::is_same_v<T, ShowCommand>) {
                return runShow(c, settings);
            } else if constexpr (std::is_same_v<T, RestoreCommand>) {
                return runRestore(c);
            } else {
                return runDemo(c);
            }
        },
        command);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    twinfold::SettingsStore settings;

    try {
        return toInt(run(parseCommandLine({argv + 1, argv + argc}), settings));
    } catch (const UsageError& e) {
        const std::string help =
            e.command().empty() ? "twinfold-cli --help" : "twinfold-cli " + e.command() + " --help";
        std::cerr << "twinfold-cli: " << escapedText(e.what()) << "\nTry '" << help << "' for more information.\n";
        return toInt(ExitCode::usage);
    } catch (const std::exception& e) {
        std::cerr << "twinfold-cli: " << escapedText(e.what()) << '\n';
        return toInt(ExitCode::failed);
    }
}
