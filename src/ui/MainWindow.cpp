#include "ui/MainWindow.h"

#include "ui/DesktopServices.h"
#include "ui/MainView.h"
#include "ui/Theme.h"
#include "ui/TwinfoldApp.h"
#include "updates/BuildInfo.h"
#include "updates/UpdateViewModel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>

namespace twinfold {

MainWindow::MainWindow(UpdateViewModel& updateVM, QWidget* parent)
    : QMainWindow(parent), updateVM_(updateVM), mainView_(new MainView(updateVM, this)), openUrl_(openExternalUrl)
{
    setWindowTitle(QStringLiteral("Twinfold"));
    // Controls take the blue accent whatever the desktop's own.
    QPalette colors = palette();
    colors.setColor(QPalette::Highlight, tintColor(Tint::accent, colors));
    colors.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(colors);
    setCentralWidget(mainView_);
    buildMenus();
    resize(960, 680);
}

// No new-document or settings entries: the window is the whole program.
void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QStringLiteral("Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help_ = help->addAction(QStringLiteral("Twinfold Help"), this, [this] {
        if (openUrl_)
            openUrl_(helpPageURL());
    });
    help_->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    QAction* about = help->addAction(QStringLiteral("About Twinfold"), this, &MainWindow::showAbout);
    about->setMenuRole(QAction::AboutRole);
    checkForUpdates_ = help->addAction(QStringLiteral("Check for Updates..."), this, [] {
        if (TwinfoldApp* app = TwinfoldApp::instance())
            app->postCheckForUpdates();
    });
    checkForUpdates_->setMenuRole(QAction::ApplicationSpecificRole);
    menuBar()->setCornerWidget(buildCheckingIndicator(), Qt::TopRightCorner);
    connect(&updateVM_, &UpdateViewModel::isCheckingForUserChanged, this, &MainWindow::showUpdateCheckState);
    showUpdateCheckState();
}

QWidget* MainWindow::buildCheckingIndicator()
{
    checkingIndicator_ = new QWidget(menuBar());
    auto* row = new QHBoxLayout(checkingIndicator_);
    row->setContentsMargins(0, 0, 8, 0);
    row->setSpacing(6);
    auto* busy = new QProgressBar(checkingIndicator_);
    busy->setRange(0, 0);  // no figure to show, only that it is working
    busy->setTextVisible(false);
    busy->setFixedSize(48, 6);
    auto* label = new QLabel(QStringLiteral("Checking for Updates…"), checkingIndicator_);
    label->setTextFormat(Qt::PlainText);
    row->addWidget(busy, 0, Qt::AlignVCenter);
    row->addWidget(label, 0, Qt::AlignVCenter);
    return checkingIndicator_;
}

// One check at a time: while the user's check runs the command is off and
// the corner says so.
void MainWindow::showUpdateCheckState()
{
    const bool checking = updateVM_.isCheckingForUser();
    checkForUpdates_->setEnabled(!checking);
    checkForUpdates_->setText(checking ? QStringLiteral("Checking for Updates...")
                                       : QStringLiteral("Check for Updates..."));
    checkingIndicator_->setVisible(checking);
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, QStringLiteral("About Twinfold"),
                       QStringLiteral("Twinfold %1\n\nFinds audio files whose channels carry the same content "
                                      "and converts them to true mono, bit for bit.")
                           .arg(buildVersionString()));
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (launched_)
        return;
    launched_ = true;
    checkForUpdatesOnLaunch(updateVM_);
}

}  // namespace twinfold
