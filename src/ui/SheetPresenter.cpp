#include "ui/SheetPresenter.h"

#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsSheet.h"
#include "ui/RecordTexts.h"
#include "workflow/ScanViewModel.h"

namespace twinfold {

namespace {

template <typename Option>
QList<OptionsSheet::Option> optionTexts(const std::vector<Option>& options)
{
    QList<OptionsSheet::Option> texts;
    for (Option option : options)
        texts << OptionsSheet::Option{recordText(rawValue(option)), recordText(optionDescription(option))};
    return texts;
}

template <typename Option>
int indexOf(const std::vector<Option>& options, Option option)
{
    return int(std::find(options.begin(), options.end(), option) - options.begin());
}

}  // namespace

SheetPresenter::SheetPresenter(ScanViewModel& viewModel, QWidget* window)
    : QObject(window), viewModel_(viewModel), window_(window)
{
    connect(&viewModel_, &ScanViewModel::showLossyFormatNoticeChanged, this, &SheetPresenter::showLossyNotice);
    connect(&viewModel_, &ScanViewModel::showPhaseFixOptionsChanged, this, &SheetPresenter::showPhaseFixOptions);
    connect(&viewModel_, &ScanViewModel::showMultichannelOptionsChanged, this,
            &SheetPresenter::showMultichannelOptions);
}

void SheetPresenter::present(QDialog* sheet, std::function<void()> closed)
{
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::finished, this, [closed = std::move(closed)] { closed(); });
    sheet->open();
}

void SheetPresenter::showLossyNotice()
{
    if (!viewModel_.showLossyFormatNotice() || lossy_)
        return;
    lossy_ = new LossyFormatNoticeView(
        [this](bool dontShowAgain) { viewModel_.acknowledgeLossyFormatNotice(dontShowAgain); }, window_);
    present(lossy_, [this] {
        lossy_.clear();
        viewModel_.lossyFormatNoticeClosed();
    });
}

void SheetPresenter::showPhaseFixOptions()
{
    if (!viewModel_.showPhaseFixOptions() || phaseFix_)
        return;
    const auto& options = allPhaseFixOptions();
    OptionsSheet::Content content{
        {phaseFixWidth, phaseFixHeight},
        {QStringLiteral("waveform.badge.exclamationmark"), Tint::red, tr("Phase-Inverted Files Detected"),
         tr("%n file(s) have inverted phase (L = -R)", nullptr, int(viewModel_.pendingPhaseInvertedResults().size()))},
        tr("These files have left and right channels that are perfect phase inversions of each other. "
           "Summing them to mono would result in silence. Choose how to convert them:"),
        true,
        optionTexts(options),
        indexOf(options, viewModel_.selectedPhaseFixOption())};
    OptionsSheet::Actions actions{
        [this, &options](int index) { viewModel_.setSelectedPhaseFixOption(options.at(std::size_t(index))); },
        [this] { viewModel_.setPhaseFixAcknowledged(true); },
        [this] { viewModel_.setPendingPhaseInvertedResults({}); }};
    phaseFix_ = new OptionsSheet(content, std::move(actions), window_);
    present(phaseFix_, [this] {
        phaseFix_.clear();
        viewModel_.phaseFixOptionsClosed();
    });
}

void SheetPresenter::showMultichannelOptions()
{
    if (!viewModel_.showMultichannelOptions() || multichannel_)
        return;
    const auto& options = allMultichannelConversionOptions();
    OptionsSheet::Content content{
        {multichannelWidth, multichannelHeight},
        {QStringLiteral("square.stack.3d.up.badge.automatic"), Tint::teal, tr("Multichannel Files Detected"),
         tr("%n file(s) have redundant channels (silent or duplicate)", nullptr,
            int(viewModel_.pendingMultichannelResults().size()))},
        tr("Choose how to handle multichannel files with redundant channels:"),
        false,
        optionTexts(options),
        indexOf(options, viewModel_.selectedMultichannelOption())};
    OptionsSheet::Actions actions{
        [this, &options](int index) { viewModel_.setSelectedMultichannelOption(options.at(std::size_t(index))); },
        [this] { viewModel_.setMultichannelAcknowledged(true); },
        [this] { viewModel_.setPendingMultichannelResults({}); }};
    multichannel_ = new OptionsSheet(content, std::move(actions), window_);
    present(multichannel_, [this] {
        multichannel_.clear();
        viewModel_.multichannelOptionsClosed();
    });
}

}  // namespace twinfold
