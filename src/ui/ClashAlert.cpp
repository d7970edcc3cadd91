#include "ui/ClashAlert.h"

#include "workflow/ScanViewModel.h"

#include <QLabel>
#include <QPushButton>

namespace twinfold {

namespace {

// At most this many clashes in the text; all of them under "Show Details…".
constexpr qsizetype kListed = 10;

}  // namespace

ClashAlert::ClashAlert(ScanViewModel& viewModel, QWidget* window)
    : QObject(window), viewModel_(viewModel), window_(window) {
    connect(&viewModel_, &ScanViewModel::pendingClashesChanged, this, &ClashAlert::sync);
}

void ClashAlert::sync() {
    const auto& clashes = viewModel_.pendingClashes();
    if (clashes.empty()) {
        if (alert_) {
            alert_->disconnect(this);
            alert_->close();
            alert_.clear();
        }
        return;
    }
    QStringList lines;
    for (const PlannedClash& clash : clashes) lines << QString::fromStdString(clash.text());
    QString text = lines.mid(0, kListed).join(QLatin1Char('\n'));
    if (lines.size() > kListed) text += tr("\n…and %1 more").arg(lines.size() - kListed);
    if (!alert_) {
        alert_ = new QMessageBox(QMessageBox::Warning, tr("Some Files Cannot Be Converted"),
                                 tr("Some Files Cannot Be Converted"), QMessageBox::NoButton, window_);
        alert_->setAttribute(Qt::WA_DeleteOnClose);
        alert_->setWindowModality(Qt::WindowModal);
        skip_ = alert_->addButton(tr("Skip These Files"), QMessageBox::AcceptRole);
        alert_->addButton(QMessageBox::Cancel);
        alert_->setDefaultButton(QMessageBox::Cancel);
        connect(alert_, &QMessageBox::finished, this, [this] {
            const bool skip = alert_ && alert_->clickedButton() == skip_;
            alert_.clear();
            if (skip)
                viewModel_.skipClashingFiles();
            else
                viewModel_.dismissClashes();
        });
        alert_->open();
    }
    alert_->setInformativeText(tr("Nothing has been written. These outputs cannot be written:\n\n%1").arg(text));
    alert_->setDetailedText(lines.size() > kListed ? lines.join(QLatin1Char('\n')) : QString());
    // File names are shown as they are, never read as markup.
    if (auto* label = alert_->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

}  // namespace twinfold
