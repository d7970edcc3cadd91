#include "ui/ProgressRow.h"

#include "ui/ElidedLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace twinfold {

namespace {

constexpr int kBarSteps = 1000;

}  // namespace

ProgressRow::ProgressRow(const QString& prefix, int figureWidth, QWidget* parent)
    : QWidget(parent),
      prefix_(prefix),
      status_(new ElidedLabel(Qt::ElideMiddle, 1, this)),
      bar_(new QProgressBar(this)),
      figure_(new QLabel(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
    status_->setFont(roleFont(FontRole::caption));
    setForegroundColor(status_, tintColor(Tint::secondary, palette()));
    bar_->setRange(0, kBarSteps);
    bar_->setTextVisible(false);
    bar_->setMaximumHeight(8);
    figure_->setFont(roleFont(FontRole::caption));
    // At least the usual width, so the bar keeps still; wider when the
    // figure needs it ("1203/1250 · 85 MB/s · 0:42 left"): the file name gives way.
    figure_->setMinimumWidth(figureWidth);
    figure_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    figure_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cancel_->setFlat(true);
    cancel_->setAutoDefault(false);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(status_, 2);
    row->addWidget(bar_, 3);
    row->addWidget(figure_);
    row->addWidget(cancel_);
}

void ProgressRow::setProgress(const QString& currentFile, double fraction, const QString& figure) {
    status_->setText(prefix_ + currentFile);
    bar_->setValue(int(std::lround(std::clamp(fraction, 0.0, 1.0) * kBarSteps)));
    figure_->setText(figure);
}

QString ProgressRow::statusText() const { return status_->text(); }

QString ProgressRow::figureText() const { return figure_->text(); }

QString percentText(double fraction) {
    return QString::number(static_cast<long long>(std::trunc(fraction * 100))) + QLatin1Char('%');
}

QString scanProgressText(const ScanState& scan) {
    if (scan.filesTotal == 0) return percentText(scan.progress);
    QString text = QStringLiteral("%1/%2").arg(scan.filesDone).arg(scan.filesTotal);
    if (scan.bytesPerSecond > 0) text += QStringLiteral(" · %1 MB/s").arg(scan.bytesPerSecond / 1e6, 0, 'f', 0);
    if (scan.secondsLeft >= 0) {
        const long long seconds = std::llround(scan.secondsLeft);
        text += QStringLiteral(" · %1:%2 left").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

}  // namespace twinfold
