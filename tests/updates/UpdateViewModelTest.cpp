#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "support/TempDir.h"
#include "updates/UpdateViewModel.h"
#include "workflow/SettingsStore.h"

namespace twinfold {
namespace {

using test::newerVersion;
using test::publishedVersion;

// The checks as the window makes them are tested through the window; here
// what it cannot see. Every test keeps its settings in its own file, never in the user's.
class UpdateViewModelTest : public ::testing::Test {
protected:
    void SetUp() override { setSettingsStoreFile(QString::fromStdString((dir / "settings.ini").string())); }

    std::unique_ptr<UpdateViewModel> makeModel() {
        return std::make_unique<UpdateViewModel>(settings, std::make_unique<UpdateCheckerService>(server.url()));
    }

    test::TempDir dir;
    SettingsStore settings;
    test::TestHttpServer server;
};

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
        ASSERT_TRUE(test::finished(model->runUpdateCheck(true)).isFinished());
        model->downloadUpdate();
        EXPECT_EQ(opened, opens ? QStringList{downloadURL} : QStringList{});
        opened.clear();
        EXPECT_TRUE(model->shouldShowBanner());  // downloading does not dismiss the banner
    }
}

}  // namespace
}  // namespace twinfold
