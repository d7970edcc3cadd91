#include "ui/ActionBar.h"

#include "ui/PrimaryButtonStyle.h"
#include "ui/ResultPresentation.h"
#include "ui/StatView.h"
#include "ui/Theme.h"
#include "workflow/SavingsEstimate.h"
#include "workflow/ScanViewModel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace twinfold {

namespace {

struct StatSpec {
    const char* title;
    Tint highlight;
    bool alwaysShown;
};

// In the order they stand in the bar.
constexpr StatSpec kStats[] = {
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "Total Files"), Tint::primary, true},
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "Dual Mono"), Tint::accent, true},
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "Phase Inverted"), Tint::red, false},
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "Silent Channel"), Tint::purple, false},
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "No Audio"), Tint::gray, false},
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "Multichannel"), Tint::teal, false},
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "Unreadable"), Tint::red, false},
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "True Stereo"), Tint::primary, true},
    {QT_TRANSLATE_NOOP("twinfold::ActionBar", "Potential Savings"), Tint::accent, true},
};

QString translated(const char* text) { return QCoreApplication::translate("twinfold::ActionBar", text); }

QString filesText(std::size_t count) {
    // English needs no numerus translation: the singular is its own text, and
    // a translation of the plural text can still give every plural form.
    if (count == 1) return QCoreApplication::translate("twinfold::ActionBar", "Converted 1 file");
    return QCoreApplication::translate("twinfold::ActionBar", "Converted %n files", nullptr, int(count));
}

// Compressed sources grow into PCM, so the change can go either way.
QString outcomeText(const ConversionOutcome& outcome) {
    if (outcome.savedBytes < 0) {
        return QCoreApplication::translate("twinfold::ActionBar", "%1 — grew by %2")
            .arg(filesText(outcome.outputCount), byteCountText(-outcome.savedBytes));
    }
    return QCoreApplication::translate("twinfold::ActionBar", "%1 — saved %2")
        .arg(filesText(outcome.outputCount), byteCountText(outcome.savedBytes));
}

QString problemsText(const ConversionOutcome& outcome) {
    const auto count = outcome.problems.size();
    if (count == 1) return QCoreApplication::translate("twinfold::ActionBar", "1 problem with originals");
    return QCoreApplication::translate("twinfold::ActionBar", "%n problems with originals", nullptr, int(count));
}

}  // namespace

ActionBar::ActionBar(ScanViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      stats_(new QWidget(this)),
      buttons_(new QWidget(this)),
      row_(new QBoxLayout(QBoxLayout::LeftToRight)),
      selectAll_(new QPushButton(tr("Select All Convertible"), buttons_)),
      convert_(new QPushButton(tr("Convert Selected to Mono"), buttons_)),
      selectedCount_(new QLabel(buttons_)),
      outcome_(new QWidget(this)),
      converted_(new QLabel(outcome_)),
      problems_(new QLabel(outcome_)),
      rescan_(new QPushButton(tr("Rescan Folder"), outcome_)) {
    buildStats();
    PrimaryButtonStyle::apply(convert_);
    setForegroundColor(converted_, figureColor(Tint::green, palette()));
    setForegroundColor(problems_, figureColor(Tint::orange, palette()));
    for (QPushButton* button : {selectAll_, convert_, rescan_}) button->setAutoDefault(false);
    // Return converts (the window passes it on from wherever it was not used).
    convert_->setDefault(true);
    selectedCount_->setTextFormat(Qt::PlainText);
    setForegroundColor(selectedCount_, tintColor(Tint::secondary, palette()));

    // The outcome has a row of its own above the figures: beside them and
    // the buttons it would squeeze the figures' titles.
    auto* outcome = new QHBoxLayout(outcome_);
    outcome->setContentsMargins(0, 0, 0, 0);
    outcome->setSpacing(12);
    outcome->addStretch(1);
    outcome->addWidget(converted_);
    outcome->addWidget(problems_);
    outcome->addWidget(rescan_);
    auto* buttons = new QHBoxLayout(buttons_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(selectAll_);
    buttons->addWidget(selectedCount_);
    buttons->addWidget(convert_);
    row_->setSpacing(8);
    row_->addWidget(stats_);
    row_->addWidget(buttons_, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(outcome_);
    column->addLayout(row_);

    connect(selectAll_, &QPushButton::clicked, this, [this] { viewModel_.selectAllConvertible(); });
    connect(convert_, &QPushButton::clicked, this, &ActionBar::convertClicked);
    connect(rescan_, &QPushButton::clicked, this, [this] { viewModel_.startScan(); });
    for (auto signal : {&ScanViewModel::scanResultsChanged, &ScanViewModel::scanStateChanged,
                        &ScanViewModel::conversionStateChanged, &ScanViewModel::selectedResultIDsChanged,
                        &ScanViewModel::lastConversionOutcomeChanged, &ScanViewModel::settingsChanged})
        connect(&viewModel_, signal, this, &ActionBar::refresh);
    refresh();
}

void ActionBar::buildStats() {
    auto* row = new QHBoxLayout(stats_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(24);
    for (const StatSpec& figure : kStats) {
        auto* stat = new StatView(translated(figure.title), figure.highlight, stats_);
        row->addWidget(stat);
        statViews_ << stat;
    }
}

StatView* ActionBar::stat(const QString& title) const {
    for (StatView* view : statViews_) {
        if (view->title() == title) return view;
    }
    return nullptr;
}

QStringList ActionBar::visibleStatTitles() const {
    QStringList titles;
    if (!stats_->isVisibleTo(this)) return titles;
    for (StatView* view : statViews_) {
        if (view->isVisibleTo(stats_)) titles << view->title();
    }
    return titles;
}

void ActionBar::refresh() {
    stats_->setVisible(!viewModel_.scanResults().empty());
    refreshStats();
    const bool scanned = viewModel_.scanState().kind == ScanState::Case::completed;
    const ConversionState& conversion = viewModel_.conversionState();
    selectAll_->setVisible(scanned);
    const ScanViewModel::ResultCounts counts = viewModel_.resultCounts();
    selectAll_->setEnabled(counts.convertible > 0);
    convert_->setVisible(scanned);
    convert_->setEnabled(counts.selectedConvertible > 0 && conversion.kind == ConversionState::Case::idle);
    selectedCount_->setVisible(scanned);
    selectedCount_->setText(tr("%n selected", nullptr, int(counts.selectedConvertible)));
    refreshOutcome();
    arrangeRow();
}

// The buttons stand beside the figures when both fit, as in English at the
// window's usual width; longer titles (a translation, a narrow window) put
// them on a row of their own rather than squeeze the figures' titles.
void ActionBar::arrangeRow() {
    const int needed = stats_->sizeHint().width() + row_->spacing() + buttons_->sizeHint().width();
    const auto direction = needed <= width() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (row_->direction() != direction) row_->setDirection(direction);
}

void ActionBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrangeRow();
}

// The outcome outlives the completed state, which the rescan after a
// conversion resets at once; until the originals have been handled only
// the count of files written is known.
void ActionBar::refreshOutcome() {
    const ConversionState& conversion = viewModel_.conversionState();
    const auto& outcome = viewModel_.lastConversionOutcome();
    const bool completed = conversion.kind == ConversionState::Case::completed;
    outcome_->setVisible(completed || outcome);
    if (outcome)
        converted_->setText(outcomeText(*outcome));
    else if (completed)
        converted_->setText(filesText(conversion.outputPaths.size()));
    const bool problems = outcome && !outcome->problems.empty();
    problems_->setVisible(problems);
    if (!problems) return;
    problems_->setText(problemsText(*outcome));
    QStringList lines;
    for (const std::string& line : outcome->problems) lines << QString::fromStdString(line).toHtmlEscaped();
    problems_->setToolTip(QStringLiteral("<qt>") + lines.join(QStringLiteral("<br>")) + QStringLiteral("</qt>"));
}

void ActionBar::refreshStats() {
    // Counted in one pass: copying the lists would cost more than the
    // scan itself once they hold 100,000 results.
    const ScanViewModel::ResultCounts c = viewModel_.resultCounts();
    const qint64 values[] = {
        qint64(c.total),
        qint64(c.dualMono + c.pannedMono),
        qint64(c.phaseInverted),
        qint64(c.silentChannel),
        qint64(c.noAudioContent),
        qint64(c.multichannel),
        qint64(c.unreadable),
        qint64(c.stereo),
        0,  // below, from the ticked rows
    };
    for (int i = 0; i + 1 < statViews_.size(); ++i) {
        StatView* view = statViews_[i];
        view->setValue(QString::number(values[i]));
        view->setHighlight(kStats[i].highlight != Tint::primary && values[i] > 0);
        view->setVisible(kStats[i].alwaysShown || values[i] > 0);
    }
    refreshSavings(statViews_.back());
}

// What converting the ticked rows as now chosen would free: compressed
// sources grow into PCM, and splitting every channel costs a header per file.
void ActionBar::refreshSavings(StatView* view) {
    // Phase and multichannel choices are asked at conversion; the figure
    // assumes the answers those questions start on.
    const PlanOptions options{};
    const SavingsEstimate estimate =
        estimateSavings(viewModel_.selectedConvertibleResults(), viewModel_.settings(), options);
    const qint64 saved = estimate.saved();
    view->setValue(saved < 0 ? QStringLiteral("−") + byteCountText(-saved) : byteCountText(saved));
    view->setHighlight(saved > 0);
    view->setToolTip(tr("Space freed by converting the selected files with the current options, once their "
                        "originals are deleted or moved away: %1 of originals become %2 of mono files.")
                         .arg(byteCountText(estimate.sourceBytes), byteCountText(estimate.outputBytes)));
}

}  // namespace twinfold
