#include "ui/MainWindow.h"

#include "ui/DesktopServices.h"
#include "ui/HeaderView.h"
#include "ui/MainView.h"
#include "ui/ReportExport.h"
#include "ui/RestoreDialog.h"
#include "ui/Theme.h"
#include "ui/TwinfoldApp.h"
#include "updates/BuildInfo.h"
#include "workflow/ScanViewModel.h"
#include "workflow/SelectionHistory.h"
#if TWINFOLD_UPDATE_CHECK
#include "updates/UpdateViewModel.h"
#endif

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>

namespace twinfold {

#if TWINFOLD_UPDATE_CHECK
MainWindow::MainWindow(SettingsService& settings, UpdateViewModel& updateVM, QWidget* parent)
    : QMainWindow(parent),
      updateVM_(updateVM),
      mainView_(new MainView(settings, updateVM, this)),
      openUrl_(openExternalUrl)
#else
MainWindow::MainWindow(SettingsService& settings, QWidget* parent)
    : QMainWindow(parent),
      mainView_(new MainView(settings, this)),
      openUrl_(openExternalUrl)
#endif
{
    setWindowTitle(tr("Twinfold"));
    // Controls take the blue accent whatever the desktop's own.
    QPalette colors = palette();
    colors.setColor(QPalette::Highlight, tintColor(Tint::accent, colors));
    colors.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(colors);
    setCentralWidget(mainView_);
    restoreDialog_ = new RestoreDialog(mainView_->viewModel(), this);
    selectionHistory_ = new SelectionHistory(mainView_->viewModel(), this);
    buildMenus();
    resize(960, 680);
}

// No new-document or settings entries: the window is the whole program.
void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    // The same rule as the header's button: not while a scan or conversion runs.
    openFolder_ =
        file->addAction(tr("Open Folder…"), this, [this] { mainView_->header()->selectFolderButton()->click(); });
    openFolder_->setShortcut(QKeySequence::Open);
    restoreOriginals_ = file->addAction(tr("Restore Originals…"), this, [this] { restoreDialog_->start(); });
    exportReport_ = file->addAction(tr("Export Report…"), this, &MainWindow::exportReportOfResults);
    chooseReportFile_ = [this](const SaveFileRequest& request) { return askWhereToSave(this, request); };
    ScanViewModel& results = mainView_->viewModel();
    connect(&results, &ScanViewModel::scanResultsChanged, this, &MainWindow::enableExportReport);
    connect(&results, &ScanViewModel::scanResultsInserted, this, &MainWindow::enableExportReport);
    enableExportReport();
    file->addSeparator();
    QAction* quit = file->addAction(tr("Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    buildEditMenu();

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help_ = help->addAction(tr("Twinfold Help"), this, [this] {
        if (openUrl_) openUrl_(helpPageURL());
    });
    help_->setShortcut(QKeySequence::HelpContents);
    // Undoes the notice's "Don't show this message again".
    help->addAction(tr("Show Lossy Format Notice Again"), this,
                    [this] { mainView_->viewModel().setLossyNoticeHidden(false); });
    help->addSeparator();
    QAction* about = help->addAction(tr("About Twinfold"), this, &MainWindow::showAbout);
    about->setMenuRole(QAction::AboutRole);
#if TWINFOLD_UPDATE_CHECK
    checkForUpdates_ = help->addAction(tr("Check for Updates..."), this, [] {
        if (TwinfoldApp* app = TwinfoldApp::instance()) app->postCheckForUpdates();
    });
    checkForUpdates_->setMenuRole(QAction::ApplicationSpecificRole);
    menuBar()->setCornerWidget(buildCheckingIndicator(), Qt::TopRightCorner);
    connect(&updateVM_, &UpdateViewModel::isCheckingForUserChanged, this, &MainWindow::showUpdateCheckState);
    showUpdateCheckState();
#endif
}

#if TWINFOLD_UPDATE_CHECK

QWidget* MainWindow::buildCheckingIndicator() {
    checkingIndicator_ = new QWidget(menuBar());
    auto* row = new QHBoxLayout(checkingIndicator_);
    row->setContentsMargins(0, 0, 8, 0);
    row->setSpacing(6);
    auto* busy = new QProgressBar(checkingIndicator_);
    busy->setRange(0, 0);  // no figure to show, only that it is working
    busy->setTextVisible(false);
    busy->setFixedSize(48, 6);
    auto* label = new QLabel(tr("Checking for Updates…"), checkingIndicator_);
    label->setTextFormat(Qt::PlainText);
    row->addWidget(busy, 0, Qt::AlignVCenter);
    row->addWidget(label, 0, Qt::AlignVCenter);
    return checkingIndicator_;
}

// One check at a time: while the user's check runs the command is off and
// the corner says so.
void MainWindow::showUpdateCheckState() {
    const bool checking = updateVM_.isCheckingForUser();
    checkForUpdates_->setEnabled(!checking);
    checkForUpdates_->setText(checking ? tr("Checking for Updates...") : tr("Check for Updates..."));
    checkingIndicator_->setVisible(checking);
}
#endif

void MainWindow::buildEditMenu() {
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    undoSelection_ = edit->addAction(tr("Undo Selection Change"), selectionHistory_, &SelectionHistory::undo);
    undoSelection_->setShortcut(QKeySequence::Undo);
    undoSelection_->setEnabled(false);
    connect(selectionHistory_, &SelectionHistory::canUndoChanged, undoSelection_, &QAction::setEnabled);
}

bool MainWindow::confirmQuitDuringConversion() {
    QMessageBox question(QMessageBox::Question, tr("Stop the Conversion?"),
                         tr("A conversion is running. Stop it and quit?"), QMessageBox::NoButton, this);
    question.setInformativeText(tr("Files already finished are kept; no original is touched."));
    QPushButton* stop = question.addButton(tr("Stop and Quit"), QMessageBox::DestructiveRole);
    QPushButton* keep = question.addButton(tr("Keep Converting"), QMessageBox::RejectRole);
    question.setDefaultButton(keep);
    question.setEscapeButton(keep);
    question.exec();
    return question.clickedButton() == stop;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    ScanViewModel& vm = mainView_->viewModel();
    if (!vm.conversionState().isConverting()) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The state may have moved on while the question was open.
    if (!confirmQuitDuringConversion()) {
        event->ignore();
        return;
    }
    if (vm.conversionState().isConverting()) {
        QFuture<void> stopped = vm.cancelConversion();
        while (!stopped.isFinished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::showAbout() {
    QMessageBox::about(this, tr("About Twinfold"),
                       tr("Twinfold %1\n\nFinds audio files whose channels carry the same content "
                          "and converts them to true mono, bit for bit.")
                           .arg(buildVersionString()));
}

void MainWindow::enableExportReport() { exportReport_->setEnabled(!mainView_->viewModel().scanResults().empty()); }

void MainWindow::exportReportOfResults() {
    const ScanViewModel& results = mainView_->viewModel();
    const std::filesystem::path folder = results.selectedFolderPath().value_or(QDir::homePath().toStdString());
    exportReport(this, results.scanResults(), folder, chooseReportFile_);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (launched_) return;
    launched_ = true;
#if TWINFOLD_UPDATE_CHECK
    checkForUpdatesOnLaunch(updateVM_);
#endif
}

}  // namespace twinfold
