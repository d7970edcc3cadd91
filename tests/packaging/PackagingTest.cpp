#include "support/FileTree.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

#include <cstdio>
#include <memory>
#include <sys/wait.h>

namespace twinfold::test {
namespace {

namespace fs = std::filesystem;

struct Shell {
    int status;
    std::string output;  // stdout and stderr together
};

// Runs a shell command line; -1 when it did not exit normally.
Shell sh(const std::string& command) {
    Shell run{-1, {}};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string quoted(const fs::path& path) { return "'" + path.native() + "'"; }

const std::vector<std::string> kCliFiles{"bin/twinfold-cli",
                                         "share/man/man1/twinfold-cli.1.gz",
                                         "share/bash-completion/completions/twinfold-cli",
                                         "share/zsh/vendor-completions/_twinfold-cli",
                                         "share/doc/twinfold-cli/copyright",
                                         TWINFOLD_MODULE_FILE};

#if TWINFOLD_HAS_GUI
const std::string kAppId = TWINFOLD_APP_ID;
const std::vector<std::string> kWindowFiles{"bin/twinfold",
                                            "share/man/man1/twinfold.1.gz",
                                            "share/bash-completion/completions/twinfold",
                                            "share/zsh/vendor-completions/_twinfold",
                                            "share/doc/twinfold/copyright",
                                            "share/applications/" + kAppId + ".desktop",
                                            "share/metainfo/" + kAppId + ".metainfo.xml",
                                            "share/icons/hicolor/scalable/apps/" + kAppId + ".svg"};
#endif

// One install of the build into a scratch prefix, shared by the tests.
class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = std::make_unique<TempDir>();
        const Shell install = sh(std::string(TWINFOLD_CMAKE) + " --install " + quoted(TWINFOLD_BUILD_DIR) +
                                 " --prefix " + quoted(prefix_->path()));
        ASSERT_EQ(install.status, 0) << install.output;
    }
    static fs::path installed(const std::string& relative) { return prefix_->path() / relative; }

    static inline std::unique_ptr<TempDir> prefix_;
};

TEST_F(InstalledTree, CarriesProgramsManualsCompletionsAndLicence) {
    std::vector<std::string> expected = kCliFiles;
#if TWINFOLD_HAS_GUI
    expected.insert(expected.end(), kWindowFiles.begin(), kWindowFiles.end());
#endif
    for (const std::string& file : expected) EXPECT_TRUE(fs::is_regular_file(installed(file))) << file;
    EXPECT_TRUE(contains(fileText(installed("share/doc/twinfold-cli/copyright")), "GNU GENERAL PUBLIC LICENSE"));

    const Shell version = sh(quoted(installed("bin/twinfold-cli")) + " --version");
    EXPECT_TRUE(version.status == 0 && contains(version.output, TWINFOLD_VERSION)) << version.output;
    // The installed program finds its installed FFmpeg module.
    const fs::path mp3 = installed("tone.mp3");
    ASSERT_EQ(sh("ffmpeg -loglevel error -f lavfi -i sine=duration=1 -ac 2 " + quoted(mp3)).status, 0);
    const Shell scan = sh(quoted(installed("bin/twinfold-cli")) + " scan --no-cache --jsonl " + quoted(mp3));
    EXPECT_TRUE(scan.status == 0 && contains(scan.output, "tone.mp3") && !contains(scan.output, "did not load"))
        << scan.output;
}

#if TWINFOLD_HAS_GUI
// The window opens audio files, never folders: claiming inode/directory
// would make it the desktop's handler for double-clicked folders.
TEST_F(InstalledTree, DesktopEntryClaimsAudioTypesOnly) {
    const std::string entry = fileText(installed("share/applications/" + kAppId + ".desktop"));
    EXPECT_TRUE(contains(entry, "audio/x-wav;") && !contains(entry, "inode/") &&
                contains(entry, "\nExec=twinfold %F\n") && contains(entry, "\nIcon=" + kAppId + "\n"))
        << entry;
}

// Software centres refuse a package whose AppStream data does not validate.
TEST_F(InstalledTree, AppStreamDataIsValid) {
    const fs::path metainfo = installed("share/metainfo/" + kAppId + ".metainfo.xml");
    ASSERT_TRUE(fs::exists(metainfo));
    if (sh("command -v appstreamcli").status != 0) GTEST_SKIP() << "appstreamcli is not installed (Debian: appstream)";
    // Offline: the addresses are placeholders on a reserved domain.
    const Shell validation = sh("appstreamcli validate --pedantic --no-net " + quoted(metainfo));
    EXPECT_EQ(validation.status, 0) << validation.output;
}

// Without a display the window says what to use instead and exits 1, rather
// than Qt aborting; the same when a display is named but cannot be opened.
TEST(Window, WithoutAGraphicalSessionExitsWithAPlainMessage) {
    // No display at all, one that cannot be opened, the X platform asked for by name.
    for (const char* environment :
         {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4711",
          "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb"}) {
        const Shell run = sh(std::string("env ") + environment + " " + quoted(TWINFOLD_GUI_PATH));
        EXPECT_EQ(run.status, 1) << environment;
        EXPECT_EQ(run.output, "Twinfold needs a graphical session; use twinfold-cli for the command line.\n")
            << environment;
    }
}
#endif

// The packages made from this very build: cpack over the build folder.
TEST(DebianPackages, SplitTheCommandLineFromTheWindow) {
    if (sh("command -v dpkg-deb && command -v dpkg-shlibdeps").status != 0)
        GTEST_SKIP() << "dpkg-deb or dpkg-shlibdeps is not installed; no Debian packages can be made here";
    TempDir out;
    const Shell pack = sh(std::string(TWINFOLD_CPACK) + " -G DEB --config " +
                          quoted(fs::path(TWINFOLD_BUILD_DIR) / "CPackConfig.cmake") + " -B " + quoted(out.path()));
    ASSERT_EQ(pack.status, 0) << pack.output;

    std::string architecture = sh("dpkg --print-architecture").output;
    architecture.pop_back();
    const auto deb = [&](const std::string& name) {
        return out.path() / (name + "_" TWINFOLD_VERSION "_" + architecture + ".deb");
    };
    // The package's listing holds each of `files` and not `other`; its dependencies.
    const auto contents = [&](const std::string& name, const std::vector<std::string>& files, const char* other) {
        const Shell listing = sh("dpkg-deb -c " + quoted(deb(name)));
        EXPECT_EQ(listing.status, 0) << listing.output << pack.output;
        for (const std::string& file : files)
            EXPECT_TRUE(contains(listing.output, " ./usr/" + file + "\n")) << file << "\n" << listing.output;
        EXPECT_FALSE(contains(listing.output, other)) << "each file in one package only";
        return sh("dpkg-deb -f " + quoted(deb(name)) + " Depends").output;
    };
    const std::string cliDepends = contents("twinfold-cli", kCliFiles, "/usr/bin/twinfold\n");
    // Qt Core, and the FFmpeg module's libraries.
    EXPECT_TRUE(contains(cliDepends, "libqt6core6") && contains(cliDepends, "libavcodec")) << cliDepends;
    for (const char* library : {"libqt6gui6", "libqt6widgets6", "libqt6network6"})
        EXPECT_FALSE(contains(cliDepends, library)) << "the command line needs Qt Core only: " << cliDepends;
#if TWINFOLD_HAS_GUI
    const std::string windowDepends = contents("twinfold", kWindowFiles, "/usr/bin/twinfold-cli");
    EXPECT_TRUE(contains(windowDepends, "twinfold-cli (= " TWINFOLD_VERSION ")")) << windowDepends;
    EXPECT_TRUE(contains(windowDepends, "libqt6widgets6")) << windowDepends;
#endif
}

}  // namespace
}  // namespace twinfold::test
