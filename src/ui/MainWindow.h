#pragma once

#include <QMainWindow>
#include <QUrl>

#include "ui/SaveFileChooser.h"

#include <functional>

class QAction;

namespace twinfold {

class RestoreDialog;
class SelectionHistory;

class MainView;
class SettingsService;
class UpdateViewModel;

// The one window: the menus and MainView, and the launch update check the
// first time the window shows.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl&)>;

#if TWINFOLD_UPDATE_CHECK
    // `settings` and `updateVM` must outlive the window.
    MainWindow(SettingsService& settings, UpdateViewModel& updateVM, QWidget* parent = nullptr);
#else
    explicit MainWindow(SettingsService& settings, QWidget* parent = nullptr);
#endif

    MainView* mainView() const { return mainView_; }
    QAction* restoreOriginalsAction() const { return restoreOriginals_; }
    QAction* openFolderAction() const { return openFolder_; }
    QAction* undoSelectionAction() const { return undoSelection_; }
    SelectionHistory* selectionHistory() const { return selectionHistory_; }
    // "Export Report…": every result, as CSV or JSON, where the user says.
    QAction* exportReportAction() const { return exportReport_; }
    void setReportFileChooser(SaveFileChooser chooser) { chooseReportFile_ = std::move(chooser); }
    RestoreDialog* restoreDialog() const { return restoreDialog_; }
    QAction* helpAction() const { return help_; }
    // Null in a build without the update check.
    QAction* checkForUpdatesAction() const { return checkForUpdates_; }
    // "Checking for Updates…" with a busy bar, in the menu bar's corner
    // while a check the user asked for runs.
    QWidget* updateCheckIndicator() const { return checkingIndicator_; }
    // Where "Twinfold Help" sends its address (the desktop's browser by default).
    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

protected:
    void showEvent(QShowEvent* event) override;
    // A conversion is never cut off by quitting: the user is asked first,
    // and keeps it running by saying no.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildEditMenu();
    bool confirmQuitDuringConversion();
    void showAbout();
    void exportReportOfResults();
    void enableExportReport();
#if TWINFOLD_UPDATE_CHECK
    QWidget* buildCheckingIndicator();
    void showUpdateCheckState();
#endif

#if TWINFOLD_UPDATE_CHECK
    UpdateViewModel& updateVM_;
#endif
    MainView* mainView_;
    RestoreDialog* restoreDialog_ = nullptr;
    QAction* restoreOriginals_ = nullptr;
    QAction* openFolder_ = nullptr;
    QAction* undoSelection_ = nullptr;
    SelectionHistory* selectionHistory_ = nullptr;
    QAction* exportReport_ = nullptr;
    SaveFileChooser chooseReportFile_;
    QAction* help_ = nullptr;
    QAction* checkForUpdates_ = nullptr;
    QWidget* checkingIndicator_ = nullptr;
    UrlOpener openUrl_;
    bool launched_ = false;
};

}  // namespace twinfold
