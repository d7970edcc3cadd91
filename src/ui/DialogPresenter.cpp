#include "ui/DialogPresenter.h"

#include "ui/ConversionQuestionTexts.h"
#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsDialog.h"
#include "ui/RecordTexts.h"
#include "workflow/ScanViewModel.h"

#include <QPushButton>

#include <memory>
#include <utility>

namespace twinfold {

namespace {

template <typename Option>
QList<OptionsDialog::Option> optionTexts(const std::vector<Option>& options) {
    QList<OptionsDialog::Option> texts;
    for (Option option : options)
        texts << OptionsDialog::Option{recordText(title(option)), recordText(optionDescription(option))};
    return texts;
}

template <typename Option>
int indexOf(const std::vector<Option>& options, Option option) {
    return int(std::find(options.begin(), options.end(), option) - options.begin());
}

}  // namespace

DialogPresenter::DialogPresenter(ScanViewModel& viewModel, QWidget* window)
    : QObject(window), viewModel_(viewModel), window_(window) {}

void DialogPresenter::convertSelection() {
    if (asking_) return;
    request_ = ConversionRequest{viewModel_.selectedResultIDs(), {}};
    questions_ = viewModel_.questionsFor(request_.selection);
    next_ = 0;
    asking_ = true;
    askNext();
}

void DialogPresenter::askNext() {
    if (next_ == questions_.size()) {
        asking_ = false;
        viewModel_.convert(request_);
        return;
    }
    const ConversionQuestion& question = questions_[next_++];
    switch (question.kind) {
    case QuestionKind::lossyFormat: return askLossy(question);
    case QuestionKind::phaseChoice: return askPhaseFix(question);
    case QuestionKind::multichannelChoice: return askMultichannel(question);
    case QuestionKind::deleteOriginals: return askDeletion(question);
    }
}

void DialogPresenter::present(QDialog* dialog, std::function<bool()> answered) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    // Once only, however often the dialog reports its end.
    auto ended = std::make_shared<bool>(false);
    connect(dialog, &QDialog::finished, this, [this, ended, answered = std::move(answered)] {
        if (std::exchange(*ended, true)) return;
        if (answered())
            askNext();
        else
            asking_ = false;
    });
    dialog->open();
}

void DialogPresenter::askLossy(const ConversionQuestion& question) {
    lossy_ = new LossyFormatNoticeView(
        [this](bool dontShowAgain) {
            if (dontShowAgain) viewModel_.setLossyNoticeHidden(true);
            request_.answers.lossyAcknowledged = true;
        },
        lossySizeText(question), window_);
    present(lossy_, [this] { return request_.answers.lossyAcknowledged; });
}

void DialogPresenter::askPhaseFix(const ConversionQuestion& question) {
    const auto& options = allPhaseFixOptions();
    request_.answers.phaseFix.reset();
    OptionsDialog::Content content{
        {phaseFixWidth, phaseFixHeight},
        {QStringLiteral("waveform.badge.exclamationmark"), Tint::red, tr("Phase-Inverted Files Detected"),
         tr("%n file(s) have inverted phase (L = -R)", nullptr, int(question.files.size()))},
        tr("These files have left and right channels that are perfect phase inversions of each other. "
           "Summing them to mono would result in silence. Choose how to convert them:"),
        true,
        optionTexts(options),
        indexOf(options, lastPhaseFix_)};
    OptionsDialog::Actions actions{[this, &options](int index) { lastPhaseFix_ = options.at(std::size_t(index)); },
                                   [this] { request_.answers.phaseFix = lastPhaseFix_; }, nullptr};
    phaseFix_ = new OptionsDialog(content, std::move(actions), window_);
    present(phaseFix_, [this] { return request_.answers.phaseFix.has_value(); });
}

void DialogPresenter::askMultichannel(const ConversionQuestion& question) {
    const auto& options = allMultichannelConversionOptions();
    request_.answers.multichannel.reset();
    OptionsDialog::Content content{
        {multichannelWidth, multichannelHeight},
        {QStringLiteral("square.stack.3d.up.badge.automatic"), Tint::teal, tr("Multichannel Files Detected"),
         tr("%n file(s) have redundant channels (silent or duplicate)", nullptr, int(question.files.size()))},
        tr("Choose how to handle multichannel files with redundant channels:"),
        false,
        optionTexts(options),
        indexOf(options, lastMultichannel_)};
    OptionsDialog::Actions actions{[this, &options](int index) { lastMultichannel_ = options.at(std::size_t(index)); },
                                   [this] { request_.answers.multichannel = lastMultichannel_; }, nullptr};
    multichannel_ = new OptionsDialog(content, std::move(actions), window_);
    present(multichannel_, [this] { return request_.answers.multichannel.has_value(); });
}

// The safe answer is the default: Return and Escape both keep the originals.
void DialogPresenter::askDeletion(const ConversionQuestion& question) {
    deletion_ = new QMessageBox(QMessageBox::Warning, tr("Delete Originals"), deletionQuestionText(question),
                                QMessageBox::NoButton, window_);
    deletion_->setInformativeText(
        tr("Each original is deleted only after its output has been read back and "
           "matches. This cannot be undone."));
    deletion_->setDetailedText(deletionListText(question));
    QPushButton* remove = deletion_->addButton(tr("Delete Originals"), QMessageBox::DestructiveRole);
    QPushButton* cancel = deletion_->addButton(QMessageBox::Cancel);
    deletion_->setDefaultButton(cancel);
    deletion_->setEscapeButton(cancel);
    // Return never deletes, even when the focus is on the delete button.
    remove->setAutoDefault(false);
    // The box closes before the button's own clicked() reaches anyone else.
    present(deletion_, [this, box = deletion_.data(), remove] {
        request_.answers.deletionConfirmed = box->clickedButton() == remove;
        return request_.answers.deletionConfirmed;
    });
    cancel->setFocus();
}

}  // namespace twinfold
