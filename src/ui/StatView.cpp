#include "ui/StatView.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace twinfold {

StatView::StatView(const QString& title, Tint highlightTint, QWidget* parent)
    : QWidget(parent), title_(new QLabel(title, this)), value_(new QLabel(this)), highlightTint_(highlightTint) {
    title_->setFont(roleFont(FontRole::caption));
    // A long title (a translation, a narrow window) takes a second line
    // instead of losing its last letters.
    title_->setWordWrap(true);
    value_->setFont(roleFont(FontRole::headline));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    column->addWidget(title_, 0, Qt::AlignLeft);
    column->addWidget(value_, 0, Qt::AlignLeft);
    applyColors();
}

void StatView::setValue(const QString& value) { value_->setText(value); }

void StatView::setHighlight(bool highlight) {
    if (highlight == highlight_) return;
    highlight_ = highlight;
    applyColors();
}

QString StatView::title() const { return title_->text(); }

QString StatView::value() const { return value_->text(); }

void StatView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) applyColors();
    QWidget::changeEvent(event);
}

void StatView::applyColors() {
    QPalette titlePalette = title_->palette();
    titlePalette.setColor(QPalette::WindowText, tintColor(Tint::secondary, palette()));
    title_->setPalette(titlePalette);
    QPalette valuePalette = value_->palette();
    valuePalette.setColor(QPalette::WindowText, figureColor(valueTint(), palette()));
    value_->setPalette(valuePalette);
}

}  // namespace twinfold
