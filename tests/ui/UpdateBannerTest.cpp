#include "WindowFixture.h"

#include "ui/ElidedLabel.h"
#include "ui/UpdateBannerView.h"
#include "workflow/SettingsStore.h"

#include <QAction>

namespace twinfold::test {
namespace {

class UpdateBannerTest : public WindowFixture {
protected:
    // Opens the window with a newer version published and waits for the launch check.
    void openWithOffer(const QString& notes = QStringLiteral("Bug fixes."),
                       const QString& downloadURL = QStringLiteral("https://www.twinfold.example/get"))
    {
        server.respondWith(publishedVersion(newerVersion(), notes, downloadURL));
        openWindow();
        waitForUpdateCheck(1);
    }
    void checkFromTheMenu()
    {
        const qsizetype before = server.requests().size();
        window().checkForUpdatesAction()->trigger();
        waitForUpdateCheck(before + 1);
    }
    UpdateBannerView& banner() { return *view().banner(); }
};

TEST_F(UpdateBannerTest, AnnouncesTheNewerVersion)
{
    openWindow();
    waitForUpdateCheck(1);
    EXPECT_FALSE(banner().isVisible()) << "nothing newer, no banner";

    server.respondWith(publishedVersion(newerVersion(), "Bug fixes."));
    checkFromTheMenu();
    ASSERT_TRUE(banner().isVisible());
    EXPECT_EQ(banner().headline(), "Twinfold " + newerVersion() + " is available");
    EXPECT_EQ(banner().notesLabel()->displayedLines(), QStringList{"Bug fixes."});
    EXPECT_EQ(banner().skipButton()->text(), "Skip");
    EXPECT_EQ(banner().downloadButton()->text(), "Download");
}

TEST_F(UpdateBannerTest, NotesAreCutAtTwoLines)
{
    const QString notes = QStringLiteral("Faster scanning. ").repeated(40);
    openWithOffer(notes);
    const QStringList lines = banner().notesLabel()->displayedLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026))) << lines[1].toStdString();
    EXPECT_TRUE(notes.startsWith(lines[0]));
}

TEST_F(UpdateBannerTest, EmptyNotesStillShowTheHeadline)
{
    openWithOffer(QString());
    ASSERT_TRUE(banner().isVisible());
    EXPECT_EQ(banner().headline(), "Twinfold " + newerVersion() + " is available");
    EXPECT_EQ(banner().notesLabel()->displayedLines(), QStringList{QString()});
}

TEST_F(UpdateBannerTest, ClosingHidesUntilTheNextCheck)
{
    openWithOffer();
    ASSERT_TRUE(banner().isVisible());
    click(banner().closeButton());
    EXPECT_FALSE(banner().isVisible());
    checkFromTheMenu();
    EXPECT_TRUE(banner().isVisible());
}

TEST_F(UpdateBannerTest, SkipHidesThatVersionForGood)
{
    openWithOffer();
    click(banner().skipButton());
    EXPECT_FALSE(banner().isVisible());
    EXPECT_EQ(loadAppSettings().skippedUpdateVersion, newerVersion().toStdString());
    checkFromTheMenu();
    EXPECT_FALSE(banner().isVisible());

    server.respondWith(publishedVersion(newerVersion() + ".1"));
    checkFromTheMenu();
    EXPECT_TRUE(banner().isVisible()) << "a later version is offered again";
}

TEST_F(UpdateBannerTest, DownloadOpensTheAddressAndKeepsTheBanner)
{
    openWithOffer(QStringLiteral("Notes"), QStringLiteral("https://www.twinfold.example/get/1"));
    QList<QUrl> opened;
    updateVM().setUrlOpener([&](const QUrl& url) { opened << url; });
    click(banner().downloadButton());
    EXPECT_EQ(opened, QList<QUrl>{QUrl("https://www.twinfold.example/get/1")});
    EXPECT_TRUE(banner().isVisible());
}

TEST_F(UpdateBannerTest, DownloadWithAnUnusableAddressDoesNothing)
{
    openWithOffer(QStringLiteral("Notes"), QStringLiteral("not an address"));
    QList<QUrl> opened;
    updateVM().setUrlOpener([&](const QUrl& url) { opened << url; });
    click(banner().downloadButton());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(banner().isVisible());
}

}  // namespace
}  // namespace twinfold::test
