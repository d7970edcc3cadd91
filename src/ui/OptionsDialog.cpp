#include "ui/OptionsDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace twinfold {

OptionsDialog::OptionsDialog(const Content& content, Actions actions, QWidget* parent)
    : QDialog(parent),
      actions_(std::move(actions)),
      cancel_(new QPushButton(tr("Cancel"), this)),
      convert_(new QPushButton(tr("Convert"), this)) {
    setWindowTitle(content.header.title);
    setFixedSize(content.size);
    for (int i = 0; i < content.options.size(); ++i) {
        auto* row = new OptionRow(content.options[i].title, content.options[i].description, this);
        row->setSelected(i == content.selected);
        connect(row, &OptionRow::clicked, this, [this, i] { choose(i); });
        rows_ << row;
    }
    auto* explanation = makeExplanation(content.explanation, FontRole::caption, this);
    if (!content.explanationMargins) explanation->setContentsMargins(0, 0, 0, 0);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kDialogMargin, kDialogMargin, kDialogMargin, kDialogMargin);
    column->setSpacing(kDialogSpacing);
    column->addWidget(makeDialogHeader(content.header, this));
    column->addWidget(makeDivider(this));
    column->addWidget(explanation);
    column->addWidget(makeOptionList(rows_, this));
    column->addStretch(1);
    column->addLayout(makeButtonRow(cancel_, convert_));

    connect(cancel_, &QPushButton::clicked, this, &OptionsDialog::reject);
    connect(convert_, &QPushButton::clicked, this, &OptionsDialog::confirm);
}

void OptionsDialog::choose(int index) {
    for (int i = 0; i < rows_.size(); ++i) rows_[i]->setSelected(i == index);
    if (actions_.select) actions_.select(index);
}

void OptionsDialog::confirm() {
    if (actions_.confirm) actions_.confirm();
    accept();
}

void OptionsDialog::reject() {
    if (actions_.cancel) actions_.cancel();
    QDialog::reject();
}

}  // namespace twinfold
