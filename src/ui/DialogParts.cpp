#include "ui/DialogParts.h"

#include "ui/PrimaryButtonStyle.h"
#include "ui/RoundedBox.h"
#include "ui/Symbols.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace twinfold {

namespace {

constexpr int kHeaderIconSize = 40;
constexpr int kOptionIconSize = 20;

QLabel* centredLabel(const QString& text, const QFont& font, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

}  // namespace

QWidget* makeDialogHeader(const DialogHeader& header, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* icon = new QLabel(box);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(symbolPixmap(header.symbolName, tintColor(header.tint, box->palette()), kHeaderIconSize,
                                 box->devicePixelRatioF()));
    icon->setObjectName(QStringLiteral("sheetIcon:") + header.symbolName);
    column->addWidget(icon);
    column->addWidget(centredLabel(header.title, roleFont(FontRole::title2), box));
    auto* subtitle = centredLabel(header.subtitle, roleFont(FontRole::subheadline), box);
    subtitle->setObjectName(QStringLiteral("sheetSubtitle"));
    setForegroundColor(subtitle, tintColor(Tint::secondary, box->palette()));
    column->addWidget(subtitle);
    return box;
}

QWidget* makeDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* makeExplanation(const QString& text, FontRole role, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(roleFont(role));
    label->setWordWrap(true);
    label->setContentsMargins(kDialogMargin, 0, kDialogMargin, 0);
    setForegroundColor(label, tintColor(Tint::secondary, label->palette()));
    return label;
}

QBoxLayout* makeButtonRow(QPushButton* cancel, QPushButton* confirm) {
    cancel->setAutoDefault(false);
    confirm->setAutoDefault(false);
    confirm->setDefault(true);
    PrimaryButtonStyle::apply(confirm);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch(1);
    row->addWidget(cancel);
    row->addWidget(confirm);
    return row;
}

OptionRow::OptionRow(const QString& title, const QString& description, QWidget* parent)
    : QAbstractButton(parent), icon_(new QLabel(this)), title_(new QLabel(title, this)) {
    setText(title);
    setCursor(Qt::PointingHandCursor);
    title_->setFont(roleFont(FontRole::headline));
    auto* detail = new QLabel(description, this);
    detail->setFont(roleFont(FontRole::caption));
    detail->setWordWrap(true);
    setForegroundColor(detail, tintColor(Tint::secondary, palette()));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(title_);
    texts->addWidget(detail);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 8, 0, 8);
    row->setSpacing(10);
    row->addWidget(icon_, 0, Qt::AlignVCenter);
    row->addLayout(texts, 1);
    updateIcon();
}

void OptionRow::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    updateIcon();
}

QString OptionRow::title() const { return title_->text(); }

void OptionRow::updateIcon() {
    const QString symbol = selected_ ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle");
    const Tint tint = selected_ ? Tint::accent : Tint::secondary;
    icon_->setPixmap(symbolPixmap(symbol, tintColor(tint, palette()), kOptionIconSize, devicePixelRatioF()));
}

// The labels draw everything; only keyboard focus needs a mark of its own.
void OptionRow::paintEvent(QPaintEvent*) {
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(withOpacity(tintColor(Tint::accent, palette()), 0.6), 1.5));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
}

QWidget* makeOptionList(const QList<OptionRow*>& rows, QWidget* parent) {
    auto* box = new RoundedBox(8, RoundedBox::Outline::none, parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(kDialogMargin, kDialogMargin - 8, kDialogMargin, kDialogMargin - 8);
    column->setSpacing(12);
    for (OptionRow* row : rows) {
        row->setParent(box);
        column->addWidget(row);
    }
    return box;
}

}  // namespace twinfold
