#include "ui/RestoreDialog.h"

#include "jobs/RestoreOriginals.h"
#include "workflow/ScanViewModel.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QThread>

#include <memory>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

QString plain(const fs::path& path) { return QString::fromStdString(path.filename().string()); }

// "Restored 3 originals." and every problem, one a line.
QString describe(const RestoreReport& report) {
    QString text = QObject::tr("Restored %n originals.", nullptr, int(report.restored.size()));
    if (!report.outputsRemoved.empty())
        text += QLatin1Char(' ') + QObject::tr("Removed %n outputs.", nullptr, int(report.outputsRemoved.size()));
    for (const std::string& problem : report.problems) text += QLatin1Char('\n') + QString::fromStdString(problem);
    return text;
}

}  // namespace

RestoreDialog::RestoreDialog(ScanViewModel& viewModel, QWidget* window)
    : QObject(window), viewModel_(viewModel), window_(window) {
    chooseFolder_ = [this]() -> std::optional<fs::path> {
        const QString folder = QFileDialog::getExistingDirectory(
            window_, tr("Choose a Twinfold Backup folder"),
            QString::fromStdString(viewModel_.selectedFolderPath().value_or(fs::path()).string()));
        if (folder.isEmpty()) return std::nullopt;
        return fs::path(folder.toStdString());
    };
}

void RestoreDialog::start() {
    const std::optional<fs::path> folder = chooseFolder_();
    if (!folder) return;
    question_ = new QMessageBox(QMessageBox::Question, tr("Restore Originals"),
                                tr("Move the originals in “%1” back to where they came from?").arg(plain(*folder)),
                                QMessageBox::NoButton, window_);
    question_->setInformativeText(
        tr("The files converted from them can be removed too, where they are "
           "unchanged. No file is ever replaced."));
    if (auto* label = question_->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setTextFormat(Qt::PlainText);
    question_->setAttribute(Qt::WA_DeleteOnClose);
    question_->setWindowModality(Qt::WindowModal);
    restoreAndRemove_ = question_->addButton(tr("Restore and Remove Outputs"), QMessageBox::AcceptRole);
    QAbstractButton* restoreOnly = question_->addButton(tr("Restore"), QMessageBox::AcceptRole);
    question_->addButton(QMessageBox::Cancel);
    connect(question_, &QMessageBox::finished, this, [this, folder = *folder, restoreOnly] {
        QAbstractButton* clicked = question_ ? question_->clickedButton() : nullptr;
        if (clicked == restoreAndRemove_ || clicked == restoreOnly) restore(folder, clicked == restoreAndRemove_);
    });
    question_->open();
}

// Moving and hashing large files takes time: off the window's thread.
void RestoreDialog::restore(const fs::path& folder, bool removeOutputs) {
    auto report = std::make_shared<RestoreReport>();
    auto failure = std::make_shared<QString>();
    QThread* worker = QThread::create([folder, removeOutputs, report, failure] {
        try {
            *report = restoreOriginals(folder, removeOutputs);
        } catch (const std::exception& error) {
            *failure = QString::fromStdString(error.what());
        }
    });
    connect(worker, &QThread::finished, this, [this, worker, report, failure] {
        worker->deleteLater();
        result_ = new QMessageBox(failure->isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
                                  tr("Restore Originals"), tr("Restore Originals"), QMessageBox::Ok, window_);
        result_->setAttribute(Qt::WA_DeleteOnClose);
        result_->setInformativeText(failure->isEmpty() ? describe(*report) : *failure);
        if (auto* label = result_->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
        result_->open();
        if (viewModel_.selectedFolderPath()) viewModel_.startScan();
        emit finished();
    });
    worker->start();
}

}  // namespace twinfold
