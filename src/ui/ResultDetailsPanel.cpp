#include "ui/ResultDetailsPanel.h"

#include "conversion/DifferenceWriter.h"
#include "presentation/EvidenceTexts.h"
#include "scanning/EvidenceLoader.h"
#include "ui/ChannelOverviewView.h"
#include "ui/ElidedLabel.h"
#include "ui/EvidenceFigures.h"
#include "ui/GoniometerView.h"
#include "ui/MultichannelDetailPanel.h"
#include "ui/RecordTexts.h"
#include "ui/ResultPresentation.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

namespace twinfold {

namespace {

constexpr int kMargin = 12;
// The panel asks for no more than this; the table keeps the rest, and the
// user can drag the divider for more.
constexpr int kPreferredHeight = 230;

QLabel* captionLabel(QWidget* parent, Tint tint) {
    auto* label = new QLabel(parent);
    label->setFont(roleFont(FontRole::caption));
    label->setTextFormat(Qt::PlainText);
    setForegroundColor(label, tintColor(tint, label->palette()));
    return label;
}

std::optional<EvidencePictures> readPictures(const ScanResult& result) {
    try {
        return loadEvidencePictures(result);
    } catch (const std::exception&) {
        return std::nullopt;  // the numbers still stand without the pictures
    }
}

}  // namespace

ResultDetailsPanel::ResultDetailsPanel(QWidget* parent)
    : QWidget(parent),
      content_(new QWidget),
      icon_(new QLabel),
      title_(new ElidedLabel(Qt::ElideMiddle, 1)),
      listen_(new QPushButton(tr("Listen to the Difference"))),
      hide_(new QToolButton),
      verdict_(new QLabel),
      reason_(captionLabel(nullptr, Tint::red)),
      figures_(new QWidget),
      figureGrid_(new QGridLayout(figures_)),
      goniometer_(new GoniometerView),
      overviews_(new ChannelOverviewView),
      grid_(new MultichannelDetailPanel) {
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(6);
    column->addWidget(buildHeader());
    column->addWidget(verdict_);
    column->addWidget(reason_);
    column->addWidget(buildBody());
    column->addWidget(grid_);
    column->addStretch(1);
    scroll->setWidget(content_);
    // The panel's own background shows through.
    scroll->viewport()->setAutoFillBackground(false);
    content_->setAutoFillBackground(false);
    grid_->layout()->setContentsMargins(0, 4, 0, 0);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    verdict_->setWordWrap(true);
    verdict_->setTextFormat(Qt::PlainText);
    reason_->setWordWrap(true);
    reason_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(listen_, &QPushButton::clicked, this, [this] {
        if (shown_) emit listenRequested(*shown_);
    });
    connect(hide_, &QToolButton::clicked, this, &ResultDetailsPanel::hideRequested);
    chooseImageFile_ = [this](const SaveFileRequest& request) { return askWhereToSave(window(), request); };
}

QWidget* ResultDetailsPanel::buildHeader() {
    auto* header = new QWidget(content_);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    title_->setFont(roleFont(FontRole::headline));
    hide_->setText(tr("×"));
    hide_->setAutoRaise(true);
    hide_->setToolTip(tr("Hide Details"));
    hide_->setAccessibleName(tr("Hide Details"));
    row->addWidget(icon_);
    row->addWidget(title_, 1);
    row->addWidget(listen_);
    row->addWidget(hide_);
    return header;
}

// The figures on the left, the pictures beside them.
QWidget* ResultDetailsPanel::buildBody() {
    auto* body = new QWidget(content_);
    auto* row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(16);
    figureGrid_->setContentsMargins(0, 0, 0, 0);
    figureGrid_->setHorizontalSpacing(10);
    figureGrid_->setVerticalSpacing(1);
    row->addWidget(figures_, 0, Qt::AlignTop);
    row->addWidget(goniometer_, 0, Qt::AlignTop);
    row->addWidget(overviews_, 1, Qt::AlignTop);
    return body;
}

void ResultDetailsPanel::showResult(const ScanResult& result) {
    if (shown_ && *shown_ == result) return;
    shown_ = result;
    showHeader(result);
    QStringList sentences;
    for (const std::string& sentence : verdictSentences(result)) sentences << recordText(sentence);
    verdict_->setText(sentences.join(QChar('\n')));
    const QString reason = QString::fromStdString(result.unreadableReason.value_or(std::string()));
    reason_->setText(reason.isEmpty() || verdict_->text().contains(reason) ? QString()
                                                                           : tr("Could not be read: %1").arg(reason));
    reason_->setVisible(!reason_->text().isEmpty());
    showFigures(result);
    grid_->setVisible(result.multichannelAnalysis.has_value());
    if (result.multichannelAnalysis) grid_->setAnalysis(*result.multichannelAnalysis, result.fileInfo.channelCount);
    loadPictures(result);
}

void ResultDetailsPanel::showHeader(const ScanResult& result) {
    const int iconSize = QFontMetrics(roleFont(FontRole::headline)).height();
    icon_->setPixmap(
        symbolPixmap(kindSymbolName(result), tintColor(kindTint(result), palette()), iconSize, devicePixelRatioF()));
    title_->setText(QString::fromStdString(result.fileInfo.filename));
    listen_->setVisible(hasDifference(result));
}

void ResultDetailsPanel::showFigures(const ScanResult& result) {
    while (QLayoutItem* item = figureGrid_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const std::vector<FigureRow> rows = evidenceFigures(result);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QLabel* label = captionLabel(figures_, Tint::secondary);
        label->setText(rows[i].label);
        QLabel* value = captionLabel(figures_, Tint::primary);
        value->setText(rows[i].value);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figureGrid_->addWidget(label, int(i), 0);
        figureGrid_->addWidget(value, int(i), 1);
    }
    figures_->setVisible(!rows.empty());
    QStringList labels;
    for (int c = 0; c < int(result.evidence.channels.size()); ++c) labels << channelTitle(result, c);
    overviews_->setLabels(labels);
    overviews_->setVisible(!labels.isEmpty());
    goniometer_->setCounts({}, 0);
    goniometer_->setVisible(result.evidence.pair.has_value());
}

// Unreadable results have nothing to load.
void ResultDetailsPanel::loadPictures(const ScanResult& result) {
    const unsigned generation = ++generation_;
    pending_ = !result.unreadableReason && !result.evidence.channels.empty();
    if (!pending_) return;
    auto* watcher = new QFutureWatcher<std::optional<EvidencePictures>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != generation_) return;
        pending_ = false;
        showPictures(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([result] { return readPictures(result); }));
}

void ResultDetailsPanel::showPictures(const std::optional<EvidencePictures>& pictures) {
    if (!pictures) return;
    goniometer_->setCounts(pictures->goniometer, EvidencePictures::goniometerSize);
    overviews_->setOverviews(pictures->overviews);
}

QString ResultDetailsPanel::verdictText() const { return verdict_->text(); }

QString ResultDetailsPanel::reasonText() const { return reason_->text(); }

QStringList ResultDetailsPanel::figureTexts() const {
    QStringList texts;
    for (int row = 0; row < figureGrid_->rowCount(); ++row) {
        auto* label = figureGrid_->itemAtPosition(row, 0);
        auto* value = figureGrid_->itemAtPosition(row, 1);
        if (label && value)
            texts << static_cast<QLabel*>(label->widget())->text() + QStringLiteral(": ") +
                         static_cast<QLabel*>(value->widget())->text();
    }
    return texts;
}

QMenu* ResultDetailsPanel::makeContextMenu() {
    auto* menu = new QMenu(this);
    menu->addAction(tr("Save Image…"), this, [this] { saveImage(); });
    return menu;
}

std::optional<std::filesystem::path> ResultDetailsPanel::saveImage() {
    if (!shown_ || !chooseImageFile_) return std::nullopt;
    const std::filesystem::path suggested =
        shown_->fileInfo.path.parent_path() / (shown_->fileInfo.path.stem().string() + " details.png");
    const auto path = chooseImageFile_({tr("Save Image"), {tr("PNG Image (*.png)")}, suggested});
    if (!path) return std::nullopt;
    const QString file = QString::fromStdString(path->string());
    if (!content_->grab().save(file, "PNG")) {
        showFileProblem(window(), tr("Could Not Save the Image"), tr("“%1” could not be written.").arg(file));
        return std::nullopt;
    }
    return path;
}

QSize ResultDetailsPanel::sizeHint() const {
    const QSize wanted = content_->sizeHint();
    return {wanted.width(), std::min(wanted.height(), kPreferredHeight)};
}

void ResultDetailsPanel::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = makeContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void ResultDetailsPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), controlBackgroundColor(palette()));
}

}  // namespace twinfold
