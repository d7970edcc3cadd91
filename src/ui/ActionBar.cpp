#include "ui/ActionBar.h"

#include "ui/BlueProminentButtonStyle.h"
#include "ui/ResultPresentation.h"
#include "ui/StatView.h"
#include "ui/Theme.h"
#include "workflow/ScanViewModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace twinfold {

namespace {

struct StatSpec {
    const char* title;
    Tint highlight;
    bool alwaysShown;
};

// In the order they stand in the bar.
constexpr StatSpec kStats[] = {
    {"Total Files", Tint::primary, true},     {"Dual Mono", Tint::accent, true},
    {"Phase Inverted", Tint::red, false},     {"Silent Channel", Tint::purple, false},
    {"No Audio", Tint::gray, false},          {"Multichannel", Tint::teal, false},
    {"True Stereo", Tint::primary, true},     {"Potential Savings", Tint::accent, true},
};

}  // namespace

ActionBar::ActionBar(ScanViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      stats_(new QWidget(this)),
      selectAll_(new QPushButton(QStringLiteral("Select All Convertible"), this)),
      convert_(new QPushButton(QStringLiteral("Convert Selected to Mono"), this)),
      converted_(new QLabel(this)),
      rescan_(new QPushButton(QStringLiteral("Rescan Folder"), this))
{
    buildStats();
    BlueProminentButtonStyle::apply(convert_);
    setForegroundColor(converted_, tintColor(Tint::green, palette()));
    for (QPushButton* button : {selectAll_, convert_, rescan_})
        button->setAutoDefault(false);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(stats_);
    row->addStretch(1);
    row->addWidget(selectAll_);
    row->addWidget(convert_);
    row->addWidget(converted_);
    row->addWidget(rescan_);

    connect(selectAll_, &QPushButton::clicked, this, [this] { viewModel_.selectAllConvertible(); });
    connect(convert_, &QPushButton::clicked, this, [this] { viewModel_.convertSelected(false, false, false); });
    connect(rescan_, &QPushButton::clicked, this, [this] { viewModel_.startScan(); });
    for (auto signal : {&ScanViewModel::scanResultsChanged, &ScanViewModel::scanStateChanged,
                        &ScanViewModel::conversionStateChanged, &ScanViewModel::selectedResultIDsChanged})
        connect(&viewModel_, signal, this, &ActionBar::refresh);
    refresh();
}

void ActionBar::buildStats()
{
    auto* row = new QHBoxLayout(stats_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(24);
    for (const StatSpec& figure : kStats) {
        auto* stat = new StatView(QString::fromLatin1(figure.title), figure.highlight, stats_);
        row->addWidget(stat);
        statViews_ << stat;
    }
}

StatView* ActionBar::stat(const QString& title) const
{
    for (StatView* view : statViews_) {
        if (view->title() == title)
            return view;
    }
    return nullptr;
}

QStringList ActionBar::visibleStatTitles() const
{
    QStringList titles;
    if (!stats_->isVisibleTo(this))
        return titles;
    for (StatView* view : statViews_) {
        if (view->isVisibleTo(stats_))
            titles << view->title();
    }
    return titles;
}

void ActionBar::refresh()
{
    stats_->setVisible(!viewModel_.scanResults().empty());
    refreshStats();
    const bool scanned = viewModel_.scanState().kind == ScanState::Case::completed;
    const ConversionState& conversion = viewModel_.conversionState();
    selectAll_->setVisible(scanned);
    selectAll_->setEnabled(viewModel_.hasConvertibleResults());
    convert_->setVisible(scanned);
    convert_->setEnabled(!viewModel_.selectedConvertibleResults().empty()
                         && conversion.kind == ConversionState::Case::idle);
    const bool converted = conversion.kind == ConversionState::Case::completed;
    converted_->setVisible(converted);
    rescan_->setVisible(converted);
    if (converted)
        converted_->setText(QStringLiteral("Converted %1 files").arg(conversion.outputURLs.size()));
}

void ActionBar::refreshStats()
{
    const auto count = [](const auto& list) { return qint64(list.size()); };
    const qint64 values[] = {
        qint64(viewModel_.scanResults().size()),
        count(viewModel_.dualMonoResults()) + count(viewModel_.pannedMonoResults()),
        count(viewModel_.phaseInvertedResults()),
        count(viewModel_.silentChannelResults()),
        count(viewModel_.noAudioContentResults()),
        count(viewModel_.multichannelResults()),
        count(viewModel_.stereoResults()),
        viewModel_.totalPotentialSavings(),
    };
    for (int i = 0; i < statViews_.size(); ++i) {
        StatView* view = statViews_[i];
        const bool isSavings = i == statViews_.size() - 1;
        view->setValue(isSavings ? byteCountText(values[i]) : QString::number(values[i]));
        view->setHighlight(kStats[i].highlight != Tint::primary && values[i] > 0);
        view->setVisible(kStats[i].alwaysShown || values[i] > 0);
    }
}

}  // namespace twinfold
