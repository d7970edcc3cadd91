#include "ui/MainView.h"

#include "ui/ActionBar.h"
#include "ui/ResultsTable.h"
#include "ui/ResultsTableModel.h"
#include "ui/AlertPresenter.h"
#include "ui/ClashAlert.h"
#include "ui/DropHighlight.h"
#include "ui/EmptyStateView.h"
#include "ui/HeaderView.h"
#include "ui/ScanResultsView.h"
#include "ui/SettingsPanel.h"
#include "ui/DialogParts.h"
#include "ui/DialogPresenter.h"
#include "ui/TwinfoldApp.h"
#include "workflow/ScanViewModel.h"
#if TWINFOLD_UPDATE_CHECK
#include "ui/UpdateBannerView.h"
#include "updates/UpdateViewModel.h"
#endif

#include <QDragEnterEvent>
#include <QFileDialog>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QMimeData>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace twinfold {

namespace {

// The dragged items that are files or folders on this machine, in order.
std::vector<std::filesystem::path> localPaths(const QMimeData* data) {
    std::vector<std::filesystem::path> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.emplace_back(url.toLocalFile().toStdString());
    }
    return paths;
}

}  // namespace

#if TWINFOLD_UPDATE_CHECK
MainView::MainView(SettingsService& settings, UpdateViewModel& updateVM, QWidget* parent)
    : QWidget(parent),
      updateVM_(updateVM),
      viewModel_(new ScanViewModel(settings, this)),
      banner_(new UpdateBannerView(updateVM, this)),
#else
MainView::MainView(SettingsService& settings, QWidget* parent)
    : QWidget(parent),
      viewModel_(new ScanViewModel(settings, this)),
#endif
      header_(new HeaderView(*viewModel_, this)),
      content_(new QStackedWidget(this)),
      emptyState_(new EmptyStateView(content_)),
      results_(new ScanResultsView(*viewModel_, content_)),
      dialogs_(new DialogPresenter(*viewModel_, this)),
#if TWINFOLD_UPDATE_CHECK
      alerts_(new AlertPresenter(*viewModel_, updateVM, this)),
#else
      alerts_(new AlertPresenter(*viewModel_, this)),
#endif
      clashAlert_(new ClashAlert(*viewModel_, this)) {
    setMinimumSize(minimumWidth, minimumHeight);
    setAcceptDrops(true);
    content_->addWidget(emptyState_);
    content_->addWidget(results_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
#if TWINFOLD_UPDATE_CHECK
    column->addWidget(banner_);
#endif
    column->addWidget(header_);
    column->addWidget(makeDivider(this));
    column->addWidget(content_, 1);
    column->addWidget(makeDivider(this));
    column->addWidget(buildBottomArea());
    dropHighlight_ = new DropHighlight(this);

    installFolderChooser();
    connect(actionBar_, &ActionBar::convertClicked, dialogs_, &DialogPresenter::convertSelection);
    connect(results_, &ScanResultsView::convertRequested, dialogs_, &DialogPresenter::convertSelection);
    connect(viewModel_, &ScanViewModel::scanResultsChanged, this, &MainView::scheduleContentRefresh);
    connect(viewModel_, &ScanViewModel::scanStateChanged, this, &MainView::scheduleContentRefresh);
    connect(viewModel_, &ScanViewModel::scanStateChanged, this, &MainView::focusResultsAfterScan);
#if TWINFOLD_UPDATE_CHECK
    connect(&updateVM_, &UpdateViewModel::shouldShowBannerChanged, this, &MainView::refreshBanner);
    connect(&updateVM_, &UpdateViewModel::availableUpdateChanged, this, &MainView::refreshBanner);
    if (TwinfoldApp* app = TwinfoldApp::instance())
        connect(app, &TwinfoldApp::checkForUpdates, this, [this] { updateVM_.runUpdateCheck(false); });
    refreshBanner();
#endif
    refreshContent();
}

MainView::~MainView() = default;

QWidget* MainView::buildBottomArea() {
    auto* area = new QWidget(this);
    settings_ = new SettingsPanel(*viewModel_, area);
    actionBar_ = new ActionBar(*viewModel_, area);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(16, 12, 16, 16);
    column->setSpacing(12);
    column->addWidget(settings_);
    column->addWidget(actionBar_);
    return area;
}

void MainView::installFolderChooser() {
    viewModel_->setFolderChooser([this]() -> std::optional<std::filesystem::path> {
        QFileDialog dialog(window(), tr("Select a folder containing audio files"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setLabelText(QFileDialog::Accept, tr("Select"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return std::filesystem::path(dialog.selectedFiles().constFirst().toStdString());
    });
}

#if TWINFOLD_UPDATE_CHECK
void MainView::refreshBanner() {
    const auto& update = updateVM_.availableUpdate();
    const bool show = updateVM_.shouldShowBanner() && update.has_value();
    if (show) banner_->setUpdate(*update);
    banner_->setVisible(show);
}
#endif

// A new scan clears the results a moment before it reports that it is
// scanning; deciding once those changes have all arrived keeps that moment
// from counting as a return to the empty state.
void MainView::scheduleContentRefresh() {
    if (contentRefreshPending_) return;
    contentRefreshPending_ = true;
    QMetaObject::invokeMethod(this, &MainView::refreshContent, Qt::QueuedConnection);
}

// The table is built anew (its order forgotten) whenever it replaces the
// empty state.
void MainView::refreshContent() {
    contentRefreshPending_ = false;
    const bool empty = viewModel_->scanResults().empty() && !viewModel_->scanState().isScanning();
    if (!empty && content_->currentWidget() == emptyState_) results_->resetSortOrder();
    content_->setCurrentWidget(empty ? static_cast<QWidget*>(emptyState_) : results_);
}

// A finished scan hands the keyboard to the table, on its first row (without
// selecting it), so Space and the arrows work at once.
void MainView::focusResultsAfterScan() {
    const bool completed = viewModel_->scanState().kind == ScanState::Case::completed;
    if (!completed || viewModel_->scanResults().empty()) return;
    ResultsTable* table = results_->table();
    table->setFocus(Qt::OtherFocusReason);
    if (!table->currentIndex().isValid() && table->model()->rowCount() > 0)
        table->selectionModel()->setCurrentIndex(table->model()->index(0, ResultsTableModel::filenameColumn),
                                                 QItemSelectionModel::NoUpdate);
}

void MainView::keyPressEvent(QKeyEvent* event) {
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers others = event->modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier);
    if (!returnKey || others != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    // A focused button answers Return itself; a text field keeps it (it
    // commits what was typed, and must not start a conversion by surprise);
    // any other control passes it on.
    QWidget* focus = focusWidget();
    if (auto* button = qobject_cast<QAbstractButton*>(focus); button && button->isVisible()) {
        button->click();
    } else if (!qobject_cast<QLineEdit*>(focus) && !qobject_cast<QComboBox*>(focus)) {
        QPushButton* convert = actionBar_->convertButton();
        if (convert->isVisible() && convert->isEnabled()) convert->click();
    }
    event->accept();
}

bool MainView::isShowingEmptyState() const { return content_->currentWidget() == emptyState_; }

bool MainView::isDropTargeted() const { return dropHighlight_->isTargeted(); }

bool MainView::scanDroppedPaths(const std::vector<std::filesystem::path>& paths) {
    if (viewModel_->conversionState().isConverting()) return false;
    viewModel_->scanDroppedItems(paths);
    return true;
}

void MainView::dragEnterEvent(QDragEnterEvent* event) {
    if (localPaths(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    dropHighlight_->setTargeted(true);
}

void MainView::dragMoveEvent(QDragMoveEvent* event) { event->acceptProposedAction(); }

void MainView::dragLeaveEvent(QDragLeaveEvent* event) {
    dropHighlight_->setTargeted(false);
    QWidget::dragLeaveEvent(event);
}

void MainView::dropEvent(QDropEvent* event) {
    dropHighlight_->setTargeted(false);
    if (scanDroppedPaths(localPaths(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

}  // namespace twinfold
