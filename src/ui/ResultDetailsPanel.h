#pragma once

// Qt comes first: moc cannot read <compare> (from Uuid.h) as the first
// standard header it meets.
#include <QWidget>

#include "records/FileEvidence.h"
#include "records/ScanResult.h"
#include "ui/SaveFileChooser.h"

#include <optional>

class QGridLayout;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace twinfold {

class ChannelOverviewView;
class ElidedLabel;
class GoniometerView;
class MultichannelDetailPanel;

// Under the table while one result is selected: what the verdict means in
// words, the measurements behind it, the goniometer of a two-channel file
// and an overview of every channel; a multichannel file adds its channel
// cells. The pictures are read from the cache (or the file) off the GUI
// thread and appear when ready; an answer for a result no longer shown is
// dropped.
class ResultDetailsPanel : public QWidget {
    Q_OBJECT
public:
    explicit ResultDetailsPanel(QWidget* parent = nullptr);

    // Shows this result (again only when it changed).
    void showResult(const ScanResult& result);
    const std::optional<ScanResult>& shownResult() const { return shown_; }
    bool picturesPending() const { return pending_; }

    QString verdictText() const;
    QString reasonText() const;
    QStringList figureTexts() const;  // "label: value"
    MultichannelDetailPanel* channelGrid() const { return grid_; }
    GoniometerView* goniometer() const { return goniometer_; }
    ChannelOverviewView* overviews() const { return overviews_; }
    QPushButton* listenButton() const { return listen_; }
    QToolButton* hideButton() const { return hide_; }

    void setImageFileChooser(SaveFileChooser chooser) { chooseImageFile_ = std::move(chooser); }
    // The panel's own menu ("Save Image…"); owned by the caller.
    QMenu* makeContextMenu();
    // Asks where, then writes the panel as it is drawn as PNG; the file
    // written, or nothing (a failure is shown).
    std::optional<std::filesystem::path> saveImage();

    QSize sizeHint() const override;

signals:
    void listenRequested(const ScanResult& result);
    void hideRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildBody();
    void showHeader(const ScanResult& result);
    void showFigures(const ScanResult& result);
    void loadPictures(const ScanResult& result);
    void showPictures(const std::optional<EvidencePictures>& pictures);

    QWidget* content_;
    QLabel* icon_;
    ElidedLabel* title_;
    QPushButton* listen_;
    QToolButton* hide_;
    QLabel* verdict_;
    QLabel* reason_;
    QWidget* figures_;
    QGridLayout* figureGrid_;
    GoniometerView* goniometer_;
    ChannelOverviewView* overviews_;
    MultichannelDetailPanel* grid_;
    std::optional<ScanResult> shown_;
    unsigned generation_ = 0;
    bool pending_ = false;
    SaveFileChooser chooseImageFile_;
};

}  // namespace twinfold
