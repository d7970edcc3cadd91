#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "support/TempDir.h"
#include "updates/BuildInfo.h"
#include "updates/UpdateViewModel.h"
#include "workflow/ScanViewModel.h"
#include "workflow/SettingsStore.h"

#include <gtest/gtest.h>

#include <utility>

namespace twinfold {
namespace {

using test::CannedResponse;
using test::newerVersion;
using test::publishedVersion;

const CannedResponse kFailing{500};

// Every test keeps its settings in its own file, never in the user's.
class UpdateViewModelTest : public ::testing::Test {
protected:
    void SetUp() override { setSettingsStoreFile(QString::fromStdString((dir / "settings.ini").string())); }

    std::unique_ptr<UpdateViewModel> makeModel() {
        return std::make_unique<UpdateViewModel>(settings, std::make_unique<UpdateCheckerService>(server.url()));
    }

    void check(UpdateViewModel& model, bool silent) {
        ASSERT_TRUE(test::finished(model.runUpdateCheck(silent)).isFinished());
        EXPECT_FALSE(model.isChecking());
    }

    test::TempDir dir;
    SettingsStore settings;
    test::TestHttpServer server;
};

TEST_F(UpdateViewModelTest, ChecksPublishTheResultAndOnlyUserChecksRaiseAlerts) {
    const QString serverError =
        "Could not reach the update server. Please check your internet connection and try again.";
    const struct {
        bool silent;
        CannedResponse answer;
        bool offered;
        bool upToDateAlert;
        std::optional<QString> errorAlert;
    } cases[] = {
        {true, publishedVersion(newerVersion()), true, false, {}},
        {true, publishedVersion(buildVersionString()), false, false, {}},
        {true, kFailing, false, false, {}},
        {false, publishedVersion(newerVersion()), true, false, {}},
        {false, publishedVersion(buildVersionString()), false, true, {}},
        {false, kFailing, false, false, serverError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.silent ? "silent, " : "user, ") << c.answer.body.toStdString());
        server.respondWith(c.answer);
        auto model = makeModel();
        check(*model, c.silent);
        EXPECT_EQ(model->availableUpdate().has_value(), c.offered);
        EXPECT_EQ(model->shouldShowBanner(), c.offered);
        EXPECT_EQ(model->showUpToDate(), c.upToDateAlert);
        EXPECT_EQ(model->checkError(), c.errorAlert);
    }
}

TEST_F(UpdateViewModelTest, AFailedCheckKeepsTheOfferAndOnlyANegativeAnswerWithdrawsIt) {
    auto model = makeModel();
    server.respondWith(publishedVersion(newerVersion()));
    check(*model, true);
    model->setBannerDismissed(true);

    // A closed banner shows again after the next check, even a failed one.
    server.respondWith(kFailing);
    check(*model, false);
    EXPECT_EQ(model->availableUpdate().value_or(AppUpdate{}).version, newerVersion());
    EXPECT_TRUE(model->shouldShowBanner());

    server.respondWith(publishedVersion(buildVersionString()));
    check(*model, true);
    EXPECT_FALSE(model->availableUpdate());
    EXPECT_FALSE(model->shouldShowBanner());
}

// The skipped version is stored alone, beside the other settings (the scan
// side's copy, loaded before the skip, must not put it back out when it
// saves), and keeps the banner away after a restart until a newer version.
TEST_F(UpdateViewModelTest, ASkippedVersionSurvivesARestartUntilANewerOne) {
    saveAppSettings({.namingSuffix = "_single"});
    server.respondWith(publishedVersion(newerVersion(3)));
    {
        ScanViewModel scan(settings);
        auto first = makeModel();
        check(*first, false);
        first->skipVersion();
        scan.setSettings({.namingSuffix = "_single", .includePanInFilename = true});
    }
    SettingsStore restarted;
    EXPECT_EQ(restarted.current(), (AppSettings{.namingSuffix = "_single",
                                                .includePanInFilename = true,
                                                .skippedUpdateVersion = newerVersion(3).toStdString()}));
    UpdateViewModel relaunched(restarted, std::make_unique<UpdateCheckerService>(server.url()));
    check(relaunched, false);
    EXPECT_TRUE(relaunched.availableUpdate());
    EXPECT_FALSE(relaunched.shouldShowBanner());
    EXPECT_FALSE(relaunched.showUpToDate());  // an offer exists, merely skipped
    server.respondWith(publishedVersion(newerVersion(4)));
    check(relaunched, true);
    EXPECT_TRUE(relaunched.shouldShowBanner());
}

// Without an offer, skipping and downloading do nothing; with one, only a
// web address is handed to the desktop.
TEST_F(UpdateViewModelTest, DownloadOpensOnlyAParsableWebAddress) {
    QStringList opened;
    auto idle = makeModel();
    idle->setUrlOpener([&](const QUrl& url) { opened.append(url.toString()); });
    idle->skipVersion();
    idle->downloadUpdate();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(loadAppSettings(), AppSettings());
    const std::pair<QString, bool> cases[] = {
        {"https://www.twinfold.example/get/T-2.tar.gz", true},
        {"http://www.twinfold.example/download", true},
        {"https://www.twinfold.example/T 2.tar.gz", false},
        {"", false},
        {"download/latest", false},
        {"file:///usr/bin/xterm", false},
        {"https://", false},
    };
    for (const auto& [downloadURL, opens] : cases) {
        SCOPED_TRACE(downloadURL.toStdString());
        server.respondWith(publishedVersion(newerVersion(), "Notes", downloadURL));
        auto model = makeModel();
        model->setUrlOpener([&](const QUrl& url) { opened.append(url.toString()); });
        check(*model, true);
        model->downloadUpdate();
        EXPECT_EQ(opened, opens ? QStringList{downloadURL} : QStringList{});
        opened.clear();
        EXPECT_TRUE(model->shouldShowBanner());  // downloading does not dismiss the banner
    }
}

TEST_F(UpdateViewModelTest, LaunchCheckRunsSilentlyOnlyWhenEnabled) {
    server.respondWith(publishedVersion(buildVersionString()));
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled);
        saveAppSettings({.checkForUpdatesOnLaunch = enabled});
        auto model = makeModel();
        const qsizetype before = server.requests().size();
        ASSERT_TRUE(test::finished(checkForUpdatesOnLaunch(*model)).isFinished());
        EXPECT_FALSE(model->showUpToDate());
        // A request the launch check had sent would reach the server no later
        // than the one of this check.
        check(*model, true);
        EXPECT_EQ(server.requests().size() - before, enabled ? 2 : 1);
    }
}

}  // namespace
}  // namespace twinfold
