#include "ui/UpdateBannerView.h"

#include "ui/PrimaryButtonStyle.h"
#include "ui/ElidedLabel.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "updates/UpdateViewModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace twinfold {

UpdateBannerView::UpdateBannerView(UpdateViewModel& updateVM, QWidget* parent) : QWidget(parent), updateVM_(updateVM) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 10, 16, 11);  // the extra pixel is the divider's
    row->setSpacing(12);
    auto* icon = new QLabel(this);
    const int iconSize = QFontMetrics(roleFont(FontRole::title3)).height();
    icon->setPixmap(symbolPixmap(QStringLiteral("arrow.down.circle.fill"), tintColor(Tint::blue, palette()), iconSize,
                                 devicePixelRatioF()));
    row->addWidget(icon, 0, Qt::AlignVCenter);
    row->addWidget(buildTexts(), 1);
    buildButtons();
    for (QPushButton* button : {skip_, download_, close_}) row->addWidget(button, 0, Qt::AlignVCenter);
}

QWidget* UpdateBannerView::buildTexts() {
    auto* texts = new QWidget(this);
    auto* column = new QVBoxLayout(texts);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    headline_ = new QLabel(texts);
    // The version comes from the network: shown as it is, never as markup.
    headline_->setTextFormat(Qt::PlainText);
    QFont headlineFont = roleFont(FontRole::subheadline);
    headlineFont.setWeight(QFont::Medium);
    headline_->setFont(headlineFont);
    notes_ = new ElidedLabel(Qt::ElideRight, 2, texts);
    notes_->setFont(roleFont(FontRole::caption));
    setForegroundColor(notes_, tintColor(Tint::secondary, palette()));
    column->addWidget(headline_);
    column->addWidget(notes_);
    return texts;
}

void UpdateBannerView::buildButtons() {
    skip_ = new QPushButton(tr("Skip"), this);
    skip_->setFlat(true);
    setForegroundColor(skip_, tintColor(Tint::secondary, palette()));
    download_ = new QPushButton(tr("Download"), this);
    download_->setFont(roleFont(FontRole::subheadline));
    PrimaryButtonStyle::apply(download_);
    close_ = new QPushButton(this);
    close_->setFlat(true);
    close_->setIcon(symbolIcon(QStringLiteral("xmark"), tintColor(Tint::secondary, palette())));
    close_->setToolTip(tr("Close"));
    close_->setAccessibleName(tr("Close"));
    for (QPushButton* button : {skip_, download_, close_}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }
    connect(skip_, &QPushButton::clicked, this, [this] { updateVM_.skipVersion(); });
    connect(download_, &QPushButton::clicked, this, [this] { updateVM_.downloadUpdate(); });
    connect(close_, &QPushButton::clicked, this, [this] { updateVM_.setBannerDismissed(true); });
}

void UpdateBannerView::setUpdate(const AppUpdate& update) {
    update_ = update;
    headline_->setText(tr("Twinfold %1 is available").arg(update.version));
    notes_->setText(update.releaseNotes);
}

QString UpdateBannerView::headline() const { return headline_->text(); }

void UpdateBannerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), withOpacity(tintColor(Tint::blue, palette()), 0.08));
    painter.fillRect(QRect(0, height() - 1, width(), 1), palette().color(QPalette::Mid));
}

}  // namespace twinfold
