#include "WindowFixture.h"

#include "ui/SettingsPanel.h"
#include "ui/StatView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <tuple>

namespace twinfold::test {
namespace {

class SettingsAndSummaryTest : public WindowFixture {
protected:
    SettingsPanel& panel() { return *view().settingsPanel(); }
    ActionBar& bar() { return *view().actionBar(); }
    // Replaces the field's text key by key, then presses Return when told.
    static void typeInto(QLineEdit* field, const QString& text, bool enter = true) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        if (enter) QTest::keyClick(field, Qt::Key_Return);
    }
};

TEST_F(SettingsAndSummaryTest, EveryChangeIsSavedAtOnce) {
    openWindow();
    // A suffix is a part of a file name: one that would lead out of the
    // source's folder is not stored (every keystroke is, up to the "/"); the
    // field says why while it holds one and shows the stored suffix after.
    QLineEdit* suffix = panel().suffixField();
    for (const auto& [typed, stored] : std::vector<std::pair<QString, std::string>>{
             {"_m1", "_m1"}, {"/../../escaped", ""}, {"_a/b", "_a"}, {"_m2", "_m2"}}) {
        typeInto(suffix, typed, false);
        EXPECT_EQ(suffix->toolTip().contains("/"), typed.contains('/')) << typed.toStdString();
        QTest::keyClick(suffix, Qt::Key_Return);
        EXPECT_EQ(std::pair(loadAppSettings().namingSuffix, suffix->text().toStdString()), std::pair(stored, stored));
    }

    for (auto [box, stored, now] :
         {std::tuple{panel().includePanBox(), &AppSettings::includePanInFilename, true},
          std::tuple{panel().trackNamesBox(), &AppSettings::nameSplitsByTrackName, true},
          std::tuple{panel().checkForUpdatesBox(), &AppSettings::checkForUpdatesOnLaunch, false}}) {
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(loadAppSettings().*stored, now) << box->text().toStdString();
    }
    panel().originalsMenu()->setFocus();
    QTest::keyClick(panel().originalsMenu(), Qt::Key_Down);
    EXPECT_EQ(loadAppSettings().originalFileHandling, OriginalFileHandling::deleteOriginals);

    // The target is dimmed until normalising and never above full scale;
    // what does not parse is put back.
    QLineEdit* target = panel().targetField();
    EXPECT_FALSE(target->isEnabled());
    EXPECT_EQ(target->text(), "-6.0");
    QTest::mouseClick(panel().normalizeBox(), Qt::LeftButton);
    EXPECT_TRUE(loadAppSettings().normalizationEnabled && target->isEnabled());
    for (const auto& [typed, shown, stored] :
         {std::tuple{"3", "0.0", 0.0f}, std::tuple{"-3.25", "-3.3", -3.3f}, std::tuple{"loud", "-3.3", -3.3f}}) {
        typeInto(target, typed);
        EXPECT_EQ(std::pair(target->text(), loadAppSettings().normalizationTargetdBFS),
                  std::pair(QString(shown), stored))
            << typed;
    }
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
    EXPECT_FALSE(panel().checkForUpdatesBox()->isChecked());
    EXPECT_EQ(panel().originalsMenu()->currentIndex(), 1);
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
    EXPECT_FALSE(bar().selectAllButton()->isEnabled() || bar().convertButton()->isEnabled());

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
