#pragma once

#include "ui/LossyFormatNoticeView.h"
#include "ui/OptionsSheet.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QDialog;
class QWidget;

namespace twinfold {

class ScanViewModel;

// Opens the option sheet the view model asks for (over the window, modal to
// it) and, when the sheet has closed, tells the view model, which resumes
// the conversion if the sheet was confirmed.
class SheetPresenter : public QObject {
    Q_OBJECT
public:
    static constexpr int phaseFixWidth = 450;
    static constexpr int phaseFixHeight = 480;
    static constexpr int multichannelWidth = 450;
    static constexpr int multichannelHeight = 420;

    SheetPresenter(ScanViewModel& viewModel, QWidget* window);

    LossyFormatNoticeView* lossyNotice() const { return lossy_; }
    OptionsSheet* phaseFixOptions() const { return phaseFix_; }
    OptionsSheet* multichannelOptions() const { return multichannel_; }

private:
    void showLossyNotice();
    void showPhaseFixOptions();
    void showMultichannelOptions();
    // Opens the sheet; `closed` runs once when it has gone, however it went.
    void present(QDialog* sheet, std::function<void()> closed);

    ScanViewModel& viewModel_;
    QWidget* window_;
    QPointer<LossyFormatNoticeView> lossy_;
    QPointer<OptionsSheet> phaseFix_;
    QPointer<OptionsSheet> multichannel_;
};

}  // namespace twinfold
