#pragma once

#include <QApplication>
#include <QLocale>
#include <QString>

#include <memory>

class QTranslator;

namespace twinfold {

class SettingsStore;
class SettingsService;
class UpdateViewModel;

// The application object: names the program, owns the one settings store and
// the one update state for the life of the process, and carries the application-wide "check for
// updates" notice that the menu posts and the window answers.
class TwinfoldApp : public QApplication {
    Q_OBJECT
public:
    TwinfoldApp(int& argc, char** argv);
    ~TwinfoldApp() override;

    // The running application object, or null when the process runs a plain
    // QApplication.
    static TwinfoldApp* instance();

    // The user's preferences; every part of the window changes them here.
    SettingsService& settings();

#if TWINFOLD_UPDATE_CHECK
    // Created on first use against the build's update address.
    UpdateViewModel& updateViewModel();
#endif

    // Installs the window's translation for the locale from `folder` (and
    // Qt's own for its standard buttons) when there is one, in place of any
    // loaded before; English otherwise. Returns whether the window's own
    // translation was found.
    bool loadTranslation(const QLocale& locale, const QString& folder = translationsFolder());
    // Where the installed translations live: share/twinfold/translations
    // beside the bin folder the program runs from.
    static QString translationsFolder();

    // Posts checkForUpdates() (the "Check for Updates..." command).
    void postCheckForUpdates();

signals:
    void checkForUpdates();

private:
    std::unique_ptr<SettingsStore> settings_;
#if TWINFOLD_UPDATE_CHECK
    std::unique_ptr<UpdateViewModel> updateViewModel_;
#endif
    std::unique_ptr<QTranslator> qtTranslation_;
    std::unique_ptr<QTranslator> ownTranslation_;
};

}  // namespace twinfold
