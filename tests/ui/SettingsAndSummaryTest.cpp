#include "WindowFixture.h"

#include "ui/SettingsPanel.h"
#include "ui/StatView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace twinfold::test {
namespace {

class SettingsAndSummaryTest : public WindowFixture {
protected:
    SettingsPanel& panel() { return *view().settingsPanel(); }
    ActionBar& bar() { return *view().actionBar(); }
    void typeInto(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
};

TEST_F(SettingsAndSummaryTest, EveryChangeIsSavedAtOnce) {
    openWindow();
    // A suffix is a part of a file name: one that would lead out of the
    // source's folder is not stored (every keystroke is, up to the "/"); the
    // field says why while it holds one and shows the stored suffix after.
    const std::vector<std::pair<QString, std::string>> suffixes{
        {"_m1", "_m1"}, {"/../../escaped", ""}, {"_a/b", "_a"}, {"_m2", "_m2"}};
    QLineEdit* suffix = panel().suffixField();
    suffix->setFocus();
    for (const auto& [typed, stored] : suffixes) {
        suffix->selectAll();
        QTest::keyClick(suffix, Qt::Key_Backspace);
        QTest::keyClicks(suffix, typed);
        EXPECT_EQ(suffix->toolTip().contains("/"), typed.contains('/')) << typed.toStdString();
        QTest::keyClick(suffix, Qt::Key_Return);
        EXPECT_EQ(loadAppSettings().namingSuffix, stored) << typed.toStdString();
        EXPECT_EQ(suffix->text().toStdString(), stored);
    }

    for (auto [box, stored] : {std::pair{panel().includePanBox(), &AppSettings::includePanInFilename},
                               std::pair{panel().trackNamesBox(), &AppSettings::nameSplitsByTrackName}}) {
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_TRUE(loadAppSettings().*stored) << box->text().toStdString();
    }

    QComboBox* originals = panel().originalsMenu();
    ASSERT_EQ(originals->count(), 3);
    originals->setFocus();
    QTest::keyClick(originals, Qt::Key_Down);
    EXPECT_EQ(loadAppSettings().originalFileHandling, OriginalFileHandling::deleteOriginals);

    QTest::mouseClick(panel().checkForUpdatesBox(), Qt::LeftButton);
    EXPECT_FALSE(loadAppSettings().checkForUpdatesOnLaunch);

    // The target is dimmed until normalising and never above full scale.
    QLineEdit* target = panel().targetField();
    EXPECT_FALSE(target->isEnabled());
    EXPECT_EQ(target->text(), "-6.0");

    QTest::mouseClick(panel().normalizeBox(), Qt::LeftButton);
    EXPECT_TRUE(loadAppSettings().normalizationEnabled);
    EXPECT_TRUE(target->isEnabled());

    typeInto(target, "3");
    EXPECT_EQ(target->text(), "0.0");
    EXPECT_EQ(loadAppSettings().normalizationTargetdBFS, 0.0f);
    typeInto(target, "-3.25");
    EXPECT_EQ(target->text(), "-3.3");
    EXPECT_EQ(loadAppSettings().normalizationTargetdBFS, -3.3f);
    typeInto(target, "loud");
    EXPECT_EQ(target->text(), "-3.3") << "what does not parse is put back";
    EXPECT_EQ(loadAppSettings().normalizationTargetdBFS, -3.3f);

    QTest::mouseClick(panel().normalizeBox(), Qt::LeftButton);
    EXPECT_FALSE(target->isEnabled());

    // A new window shows what was stored, the target in the user's own notation.
    struct LocaleGuard {
        QLocale previous;
        ~LocaleGuard() { QLocale::setDefault(previous); }
    } guard;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    openWindow();
    EXPECT_EQ(panel().suffixField()->text(), "_m2");
    EXPECT_TRUE(panel().includePanBox()->isChecked() && panel().trackNamesBox()->isChecked());
    EXPECT_EQ(panel().originalsMenu()->currentIndex(), 1);
    EXPECT_FALSE(panel().checkForUpdatesBox()->isChecked());
    EXPECT_EQ(panel().targetField()->text(), "-3,3");
    QTest::mouseClick(panel().normalizeBox(), Qt::LeftButton);
    typeInto(panel().targetField(), "-4,5");
    EXPECT_EQ(loadAppSettings().normalizationTargetdBFS, -4.5f);
}

// Figures appear for what was found; with nothing convertible there is nothing to press.
TEST_F(SettingsAndSummaryTest, FiguresFollowWhatWasFound) {
    stereoWav("Wide.wav", StereoKind::trueStereo);
    monoWav("Kick.wav");
    openWindow();
    EXPECT_TRUE(bar().visibleStatTitles().isEmpty()) << "no figures before any result";
    chooseLibrary();
    EXPECT_EQ(bar().visibleStatTitles(), (QStringList{"Total Files", "Dual Mono", "True Stereo", "Potential Savings"}));
    EXPECT_FALSE(bar().stat("Dual Mono")->highlight());
    EXPECT_FALSE(bar().selectAllButton()->isEnabled());
    EXPECT_FALSE(bar().convertButton()->isEnabled());

    stereoWav("Inverted.wav", StereoKind::phaseInverted);
    stereoWav("Silent.wav", StereoKind::rightSilent);
    stereoWav("Empty.wav", StereoKind::bothSilent);
    multichannelWav("Surround.wav", {6, {}, {3}});
    vm().startScan();
    waitForScan();
    EXPECT_EQ(bar().visibleStatTitles(), (QStringList{"Total Files", "Dual Mono", "Phase Inverted", "Silent Channel",
                                                      "No Audio", "Multichannel", "True Stereo", "Potential Savings"}));
    EXPECT_EQ(bar().stat("Total Files")->value(), "6");
    EXPECT_TRUE(bar().stat("Potential Savings")->highlight());
    vm().setSelectedResultIDs({});
    EXPECT_FALSE(bar().convertButton()->isEnabled());
    click(bar().selectAllButton());
    EXPECT_EQ(vm().selectedResultIDs().size(), 3u);
    EXPECT_TRUE(bar().convertButton()->isEnabled());
}

}  // namespace
}  // namespace twinfold::test
