#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "support/TempDir.h"
#include "updates/BuildInfo.h"
#include "updates/UpdateViewModel.h"
#include "workflow/SettingsStore.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <ostream>

namespace twinfold {
namespace {

using test::CannedResponse;
using test::TestHttpServer;

const char* const kServerErrorText =
    "Could not reach the update server. Please check your internet connection and try again.";

// Versions relative to this build, so the tests hold whatever it is numbered.
QString newerVersion(int step) { return buildVersionString() + "." + QString::number(step); }

CannedResponse published(const QString& version, const QString& downloadURL = "https://www.twinfold.example/get")
{
    CannedResponse response;
    response.body = encodeAppUpdate({version, 1, downloadURL, "Notes", "2024-05-01"});
    return response;
}

CannedResponse failing()
{
    CannedResponse response;
    response.status = 500;
    return response;
}

CannedResponse held()
{
    CannedResponse response;
    response.behaviour = CannedResponse::Behaviour::hold;
    return response;
}

// Every test keeps its settings in its own file, never in the user's.
class UpdateViewModelTest : public ::testing::Test {
protected:
    void SetUp() override { setSettingsStoreFile(QString::fromStdString((dir / "settings.ini").string())); }

    std::unique_ptr<UpdateViewModel> makeModel()
    {
        return std::make_unique<UpdateViewModel>(std::make_unique<UpdateCheckerService>(server.url()));
    }

    void check(UpdateViewModel& model, bool silent)
    {
        ASSERT_TRUE(test::finished(model.runUpdateCheck(silent)).isFinished());
        EXPECT_FALSE(model.isChecking());
    }

    test::TempDir dir;
    TestHttpServer server;
};

// --- silent and user-initiated checks ------------------------------------------

enum class Answer { newer, upToDate, failure };

struct CheckCase {
    const char* name;
    bool silent;
    Answer answer;
    bool offered;
    bool upToDateAlert;
    bool errorAlert;
};

std::ostream& operator<<(std::ostream& out, const CheckCase& c) { return out << c.name; }

class CheckOutcome : public UpdateViewModelTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckOutcome, PublishesTheResultAndOnlyUserChecksRaiseAlerts)
{
    const CheckCase& c = GetParam();
    server.respondWith(c.answer == Answer::newer      ? published(newerVersion(1))
                       : c.answer == Answer::upToDate ? published(buildVersionString())
                                                      : failing());
    auto model = makeModel();
    QSignalSpy checking(model.get(), &UpdateViewModel::isCheckingChanged);
    QSignalSpy banner(model.get(), &UpdateViewModel::shouldShowBannerChanged);

    QFuture<void> done = model->runUpdateCheck(c.silent);
    EXPECT_TRUE(model->isChecking());
    ASSERT_TRUE(test::finished(done).isFinished());

    EXPECT_FALSE(model->isChecking());
    EXPECT_EQ(checking.count(), 2);
    EXPECT_EQ(model->availableUpdate().has_value(), c.offered);
    EXPECT_EQ(model->shouldShowBanner(), c.offered);
    EXPECT_EQ(banner.count(), c.offered ? 1 : 0);
    EXPECT_EQ(model->showUpToDate(), c.upToDateAlert);
    EXPECT_EQ(model->checkError(), c.errorAlert ? std::optional<QString>(kServerErrorText) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckOutcome,
    ::testing::Values(CheckCase{"silentNewer", true, Answer::newer, true, false, false},
                      CheckCase{"silentUpToDate", true, Answer::upToDate, false, false, false},
                      CheckCase{"silentFailure", true, Answer::failure, false, false, false},
                      CheckCase{"userNewer", false, Answer::newer, true, false, false},
                      CheckCase{"userUpToDate", false, Answer::upToDate, false, true, false},
                      CheckCase{"userFailure", false, Answer::failure, false, false, true}),
    [](const auto& info) { return info.param.name; });

TEST_F(UpdateViewModelTest, FailedCheckKeepsTheEarlierOfferAndTheAlertClears)
{
    auto model = makeModel();
    server.respondWith(published(newerVersion(1)));
    check(*model, false);
    server.respondWith(failing());
    check(*model, false);

    ASSERT_TRUE(model->availableUpdate());
    EXPECT_EQ(model->availableUpdate()->version, newerVersion(1));
    QSignalSpy cleared(model.get(), &UpdateViewModel::checkErrorChanged);
    model->setCheckError(std::nullopt);
    EXPECT_FALSE(model->checkError());
    EXPECT_EQ(cleared.count(), 1);
}

TEST_F(UpdateViewModelTest, CheckFindingNothingNewerWithdrawsTheOffer)
{
    auto model = makeModel();
    server.respondWith(published(newerVersion(1)));
    check(*model, true);
    server.respondWith(published(buildVersionString()));
    check(*model, true);
    EXPECT_FALSE(model->availableUpdate());
    EXPECT_FALSE(model->shouldShowBanner());
}

TEST_F(UpdateViewModelTest, ClosedBannerReappearsAfterTheNextCheck)
{
    server.respondWith(published(newerVersion(1)));
    auto model = makeModel();
    check(*model, true);
    QSignalSpy banner(model.get(), &UpdateViewModel::shouldShowBannerChanged);
    model->setBannerDismissed(true);
    EXPECT_FALSE(model->shouldShowBanner());
    EXPECT_EQ(banner.count(), 1);

    check(*model, false);
    EXPECT_FALSE(model->bannerDismissed());
    EXPECT_TRUE(model->shouldShowBanner());
    EXPECT_FALSE(model->showUpToDate());
}

// --- skipping a version -----------------------------------------------------------

TEST_F(UpdateViewModelTest, SkipIsStoredWithoutTouchingOtherSettings)
{
    AppSettings stored;
    stored.namingSuffix = "_single";
    stored.checkForUpdatesOnLaunch = false;
    saveAppSettings(stored);

    server.respondWith(published(newerVersion(3)));
    auto model = makeModel();
    check(*model, false);
    model->skipVersion();

    EXPECT_EQ(model->skippedVersion(), newerVersion(3));
    EXPECT_TRUE(model->bannerDismissed());
    EXPECT_FALSE(model->shouldShowBanner());
    EXPECT_TRUE(model->availableUpdate());
    stored.skippedUpdateVersion = newerVersion(3).toStdString();
    EXPECT_EQ(loadAppSettings(), stored);
}

TEST_F(UpdateViewModelTest, SkippedVersionStaysHiddenInALaterRunButANewerOneShows)
{
    server.respondWith(published(newerVersion(3)));
    {
        auto first = makeModel();
        check(*first, true);
        first->skipVersion();
    }
    auto relaunched = makeModel();
    EXPECT_EQ(relaunched->skippedVersion(), newerVersion(3));

    check(*relaunched, false);
    EXPECT_TRUE(relaunched->availableUpdate());
    EXPECT_FALSE(relaunched->shouldShowBanner());
    EXPECT_FALSE(relaunched->showUpToDate());  // an offer exists, merely skipped

    server.respondWith(published(newerVersion(4)));
    check(*relaunched, true);
    EXPECT_TRUE(relaunched->shouldShowBanner());
}

TEST_F(UpdateViewModelTest, SkipWithoutAnOfferChangesNothing)
{
    auto model = makeModel();
    model->skipVersion();
    EXPECT_FALSE(model->skippedVersion());
    EXPECT_FALSE(model->bannerDismissed());
    EXPECT_EQ(loadAppSettings(), AppSettings());
}

// --- overlapping checks -------------------------------------------------------------

TEST_F(UpdateViewModelTest, OverlappingChecksLastToFinishDecidesTheOffer)
{
    auto model = makeModel();
    server.respondWith(held());
    QFuture<void> slow = model->runUpdateCheck(true);
    ASSERT_TRUE(test::processEventsUntil([&] { return server.heldCount() == 1; }));

    server.respondWith(published(newerVersion(1)));
    ASSERT_TRUE(test::finished(model->runUpdateCheck(false)).isFinished());
    EXPECT_FALSE(model->isChecking());  // cleared by the first check to finish
    EXPECT_EQ(model->availableUpdate()->version, newerVersion(1));

    server.answerHeld(published(newerVersion(2)));
    ASSERT_TRUE(test::finished(slow).isFinished());
    EXPECT_EQ(model->availableUpdate()->version, newerVersion(2));
    EXPECT_FALSE(model->isChecking());
}

// --- download ----------------------------------------------------------------------

struct DownloadCase {
    const char* name;
    QString downloadURL;
    bool opened;
};

std::ostream& operator<<(std::ostream& out, const DownloadCase& c) { return out << c.name; }

class Download : public UpdateViewModelTest, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(Download, OpensOnlyAParsableWebAddress)
{
    server.respondWith(published(newerVersion(1), GetParam().downloadURL));
    auto model = makeModel();
    QList<QUrl> opened;
    model->setUrlOpener([&](const QUrl& url) { opened.append(url); });
    model->downloadUpdate();  // nothing offered yet
    EXPECT_TRUE(opened.isEmpty());

    check(*model, true);
    model->downloadUpdate();
    if (GetParam().opened) {
        ASSERT_EQ(opened.size(), 1);
        EXPECT_EQ(opened[0].toString(), GetParam().downloadURL);
    } else {
        EXPECT_TRUE(opened.isEmpty());
    }
    EXPECT_TRUE(model->shouldShowBanner());  // downloading does not dismiss the banner
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, Download,
    ::testing::Values(DownloadCase{"https", "https://www.twinfold.example/download/Twinfold-2.0.tar.gz", true},
                      DownloadCase{"http", "http://www.twinfold.example/download", true},
                      DownloadCase{"space", "https://www.twinfold.example/Twinfold 2.0.tar.gz", false},
                      DownloadCase{"empty", "", false},
                      DownloadCase{"relative", "download/latest", false},
                      DownloadCase{"localFile", "file:///usr/bin/xterm", false},
                      DownloadCase{"noHost", "https://", false}),
    [](const auto& info) { return info.param.name; });

// --- the launch check -------------------------------------------------------------

TEST_F(UpdateViewModelTest, LaunchCheckRunsSilentlyWhenEnabled)
{
    server.respondWith(published(buildVersionString()));
    auto model = makeModel();
    ASSERT_TRUE(test::finished(checkForUpdatesOnLaunch(*model)).isFinished());
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(model->showUpToDate());
}

TEST_F(UpdateViewModelTest, LaunchCheckMakesNoRequestWhenDisabled)
{
    AppSettings settings;
    settings.checkForUpdatesOnLaunch = false;
    saveAppSettings(settings);
    server.respondWith(published(newerVersion(1)));
    auto model = makeModel();
    QFuture<void> done = checkForUpdatesOnLaunch(*model);
    EXPECT_TRUE(done.isFinished());
    EXPECT_FALSE(model->isChecking());
    EXPECT_FALSE(model->availableUpdate());
    // A request the launch check had sent would reach the server no later
    // than the one of this check.
    check(*model, false);
    EXPECT_EQ(server.requests().size(), 1);
}

}  // namespace
}  // namespace twinfold
