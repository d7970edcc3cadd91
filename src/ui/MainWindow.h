#pragma once

#include <QMainWindow>
#include <QUrl>

#include <functional>

class QAction;

namespace twinfold {

class MainView;
class UpdateViewModel;

// The one window: the menus and MainView, and the launch update check the
// first time the window shows.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl&)>;

    explicit MainWindow(UpdateViewModel& updateVM, QWidget* parent = nullptr);

    MainView* mainView() const { return mainView_; }
    QAction* helpAction() const { return help_; }
    QAction* checkForUpdatesAction() const { return checkForUpdates_; }
    // "Checking for Updates…" with a busy bar, in the menu bar's corner
    // while a check the user asked for runs.
    QWidget* updateCheckIndicator() const { return checkingIndicator_; }
    // Where "Twinfold Help" sends its address (the desktop's browser by default).
    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void showAbout();
    QWidget* buildCheckingIndicator();
    void showUpdateCheckState();

    UpdateViewModel& updateVM_;
    MainView* mainView_;
    QAction* help_ = nullptr;
    QAction* checkForUpdates_ = nullptr;
    QWidget* checkingIndicator_ = nullptr;
    UrlOpener openUrl_;
    bool launched_ = false;
};

}  // namespace twinfold
