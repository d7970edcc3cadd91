#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QPushButton;

namespace twinfold {

// Asks before lossy sources are written as WAV, saying how much larger the
// outputs will be (`sizeNote`). "Continue" (Return) hands
// the state of "Don’t show this message again" to `acknowledge` and closes;
// "Cancel" (Escape) only closes.
class LossyFormatNoticeView : public QDialog {
    Q_OBJECT
public:
    static constexpr int dialogWidth = 420;
    static constexpr int dialogHeight = 360;

    LossyFormatNoticeView(std::function<void(bool dontShowAgain)> acknowledge, const QString& sizeNote,
                          QWidget* parent = nullptr);

    QCheckBox* dontShowAgainBox() const { return dontShowAgain_; }
    QPushButton* continueButton() const { return continue_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    void confirm();

    std::function<void(bool dontShowAgain)> acknowledge_;
    QCheckBox* dontShowAgain_;
    QPushButton* cancel_;
    QPushButton* continue_;
};

}  // namespace twinfold
