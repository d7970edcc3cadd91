#include "ui/LossyFormatNoticeView.h"

#include "ui/DialogParts.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace twinfold {

LossyFormatNoticeView::LossyFormatNoticeView(std::function<void(bool dontShowAgain)> acknowledge,
                                             const QString& sizeNote, QWidget* parent)
    : QDialog(parent),
      acknowledge_(std::move(acknowledge)),
      dontShowAgain_(new QCheckBox(tr("Don’t show this message again"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)),
      continue_(new QPushButton(tr("Continue"), this)) {
    setWindowTitle(tr("Lossy Format Detected"));
    setFixedSize(dialogWidth, dialogHeight);
    dontShowAgain_->setFont(roleFont(FontRole::caption));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kDialogMargin, kDialogMargin, kDialogMargin, kDialogMargin);
    column->setSpacing(kDialogSpacing);
    column->addWidget(makeDialogHeader({QStringLiteral("waveform.badge.exclamationmark"), Tint::orange,
                                        tr("Lossy Format Detected"), tr("MP3/M4A will be converted to WAV")},
                                       this));
    column->addWidget(makeDivider(this));
    column->addWidget(makeExplanation(tr("Twinfold converts lossy files to WAV to preserve quality. "
                                         "Re-encoding causes further degradation."),
                                      FontRole::callout, this));
    if (!sizeNote.isEmpty()) column->addWidget(makeExplanation(sizeNote, FontRole::callout, this));
    column->addWidget(dontShowAgain_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    column->addLayout(makeButtonRow(cancel_, continue_));

    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(continue_, &QPushButton::clicked, this, &LossyFormatNoticeView::confirm);
}

void LossyFormatNoticeView::confirm() {
    if (acknowledge_) acknowledge_(dontShowAgain_->isChecked());
    accept();
}

}  // namespace twinfold
