#pragma once

#include <QWidget>

#include <filesystem>
#include <vector>

class QStackedWidget;

namespace twinfold {

class ActionBar;
class AlertPresenter;
class ClashAlert;
class DropHighlight;
class EmptyStateView;
class HeaderView;
class ScanResultsView;
class ScanViewModel;
class SettingsPanel;
class SettingsService;
class DialogPresenter;
class UpdateBannerView;
class UpdateViewModel;

// The window's content. It owns the one ScanViewModel and lays out, top to
// bottom: the update banner, the header, the empty state or the results,
// the settings and the action bar; it presents the option dialogs and the
// alerts, and takes files and folders dropped anywhere on it.
class MainView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 700;
    static constexpr int minimumHeight = 500;

#if TWINFOLD_UPDATE_CHECK
    MainView(SettingsService& settings, UpdateViewModel& updateVM, QWidget* parent = nullptr);
#else
    explicit MainView(SettingsService& settings, QWidget* parent = nullptr);
#endif
    ~MainView() override;

    ScanViewModel& viewModel() const { return *viewModel_; }
#if TWINFOLD_UPDATE_CHECK
    UpdateViewModel& updateViewModel() const { return updateVM_; }
    UpdateBannerView* banner() const { return banner_; }
#endif
    HeaderView* header() const { return header_; }
    EmptyStateView* emptyState() const { return emptyState_; }
    ScanResultsView* resultsView() const { return results_; }
    SettingsPanel* settingsPanel() const { return settings_; }
    ActionBar* actionBar() const { return actionBar_; }
    DialogPresenter* dialogs() const { return dialogs_; }
    AlertPresenter* alerts() const { return alerts_; }
    ClashAlert* clashAlert() const { return clashAlert_; }
    DropHighlight* dropHighlight() const { return dropHighlight_; }
    bool isDropTargeted() const;
    bool isShowingEmptyState() const;

    // Scans files and folders as if they had been dropped on the window;
    // refused (false) while a conversion runs.
    bool scanDroppedPaths(const std::vector<std::filesystem::path>& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Return that no control used converts, as a dialog's default button would.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* buildBottomArea();
    void installFolderChooser();
#if TWINFOLD_UPDATE_CHECK
    void refreshBanner();
#endif
    void scheduleContentRefresh();
    void refreshContent();
    void focusResultsAfterScan();

#if TWINFOLD_UPDATE_CHECK
    UpdateViewModel& updateVM_;
#endif
    ScanViewModel* viewModel_;
#if TWINFOLD_UPDATE_CHECK
    UpdateBannerView* banner_;
#endif
    HeaderView* header_;
    QStackedWidget* content_;
    EmptyStateView* emptyState_;
    ScanResultsView* results_;
    SettingsPanel* settings_ = nullptr;
    ActionBar* actionBar_ = nullptr;
    DialogPresenter* dialogs_;
    AlertPresenter* alerts_;
    ClashAlert* clashAlert_;
    DropHighlight* dropHighlight_;
    bool contentRefreshPending_ = false;
};

}  // namespace twinfold
