#pragma once

#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsDialog.h"
#include "workflow/ConversionQuestions.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class QDialog;
class QWidget;

namespace twinfold {

class ScanViewModel;

// Converts the selection the way the user answers: asks the questions the
// view model lists, one dialog after another (over the window, modal to
// it), and converts with the answers once the last one is confirmed.
// Cancelling any dialog converts nothing.
class DialogPresenter : public QObject {
    Q_OBJECT
public:
    static constexpr int phaseFixWidth = 450;
    static constexpr int phaseFixHeight = 480;
    static constexpr int multichannelWidth = 450;
    static constexpr int multichannelHeight = 420;

    DialogPresenter(ScanViewModel& viewModel, QWidget* window);

    // "Convert Selected to Mono". Ignored while the questions of an earlier
    // click are still open.
    void convertSelection();

    LossyFormatNoticeView* lossyNotice() const { return lossy_; }
    OptionsDialog* phaseFixOptions() const { return phaseFix_; }
    OptionsDialog* multichannelOptions() const { return multichannel_; }
    QMessageBox* deleteConfirmation() const { return deletion_; }

private:
    // Asks the next open question, or converts when none is left.
    void askNext();
    void askLossy(const ConversionQuestion& question);
    void askPhaseFix(const ConversionQuestion& question);
    void askMultichannel(const ConversionQuestion& question);
    void askDeletion(const ConversionQuestion& question);
    // Opens the dialog; when it has closed with its question `answered`,
    // goes on to the next question, otherwise stops: nothing is converted.
    void present(QDialog* dialog, std::function<bool()> answered);

    ScanViewModel& viewModel_;
    QWidget* window_;
    std::vector<ConversionQuestion> questions_;
    std::size_t next_ = 0;
    ConversionRequest request_;
    bool asking_ = false;
    // The choices offered first: the ones made last time.
    PhaseFixOption lastPhaseFix_ = PhaseFixOption::useLeft;
    MultichannelConversionOption lastMultichannel_ = MultichannelConversionOption::splitAllToMono;
    QPointer<LossyFormatNoticeView> lossy_;
    QPointer<OptionsDialog> phaseFix_;
    QPointer<OptionsDialog> multichannel_;
    QPointer<QMessageBox> deletion_;
};

}  // namespace twinfold
