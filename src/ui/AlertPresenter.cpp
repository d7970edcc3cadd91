#include "ui/AlertPresenter.h"

#include "workflow/ScanViewModel.h"
#if TWINFOLD_UPDATE_CHECK
#include "updates/UpdateViewModel.h"
#endif

#include <QLabel>
#include <QMessageBox>

#include <algorithm>

namespace twinfold {

#if TWINFOLD_UPDATE_CHECK
AlertPresenter::AlertPresenter(ScanViewModel& viewModel, UpdateViewModel& updateVM, QWidget* window)
    : QObject(window),
      viewModel_(viewModel),
      updateVM_(updateVM),
      window_(window)
#else
AlertPresenter::AlertPresenter(ScanViewModel& viewModel, QWidget* window)
    : QObject(window),
      viewModel_(viewModel),
      window_(window)
#endif
{
    connect(&viewModel_, &ScanViewModel::errorMessageChanged, this, &AlertPresenter::syncError);
    connect(&viewModel_, &ScanViewModel::lastConversionOutcomeChanged, this, [this] {
        problemsDismissed_ = false;
        syncProblems();
    });
    syncError();
#if TWINFOLD_UPDATE_CHECK
    connect(&updateVM_, &UpdateViewModel::showUpToDateChanged, this, &AlertPresenter::syncUpToDate);
    connect(&updateVM_, &UpdateViewModel::checkErrorChanged, this, &AlertPresenter::syncCheckFailed);
    syncUpToDate();
    syncCheckFailed();
#endif
}

void AlertPresenter::sync(QPointer<QMessageBox>& alert, const QString& title, const std::optional<QString>& message,
                          std::function<void()> dismissed) {
    if (!message) {
        // The field was cleared elsewhere: the alert goes without clearing anything.
        if (alert) {
            alert->disconnect(this);
            alert->close();
            alert.clear();
        }
        return;
    }
    if (!alert) {
        alert = new QMessageBox(QMessageBox::NoIcon, title, title, QMessageBox::Ok, window_);
        alert->setTextFormat(Qt::PlainText);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->setWindowModality(Qt::WindowModal);
        // A message box sizes itself to its first words; a short title
        // ("Error") left a narrow column that broke a file's name apart.
        alert->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label, QLabel#qt_msgbox_informativelabel "
                                            "{ min-width: %1px; }")
                                 .arg(std::max(320, alert->fontMetrics().horizontalAdvance(title) + 80)));
        connect(alert, &QMessageBox::finished, this, [&alert, dismissed = std::move(dismissed)] {
            alert.clear();
            dismissed();
        });
        alert->open();
    }
    alert->setInformativeText(*message);
    // Messages come from files and servers; never read them as markup.
    if (auto* label = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

void AlertPresenter::syncError() {
    const auto& message = viewModel_.errorMessage();
    sync(error_, tr("Error"), message ? std::optional(QString::fromStdString(*message)) : std::nullopt,
         [this] { viewModel_.dismissError(); });
}

#if TWINFOLD_UPDATE_CHECK
void AlertPresenter::syncUpToDate() {
    sync(upToDate_, tr("Up to Date"),
         updateVM_.showUpToDate() ? std::optional(tr("You’re running the latest version of Twinfold.")) : std::nullopt,
         [this] { updateVM_.setShowUpToDate(false); });
}

void AlertPresenter::syncCheckFailed() {
    sync(checkFailed_, tr("Update Check Failed"), updateVM_.checkError(),
         [this] { updateVM_.setCheckError(std::nullopt); });
}
#endif

// A clash for every file of a large folder must not grow the alert past
// the screen: the first problems are listed, all of them under "Show Details".
void AlertPresenter::syncProblems() {
    constexpr std::size_t listed = 10;
    const auto& outcome = viewModel_.lastConversionOutcome();
    std::optional<QString> message;
    QStringList all;
    if (outcome && !outcome->problems.empty() && !problemsDismissed_) {
        for (const std::string& problem : outcome->problems) all << QString::fromStdString(problem);
        QStringList lines{
            tr("The mono files were written. These originals were not handled as asked "
               "and are still where they were:")};
        for (const QString& problem : all.mid(0, qsizetype(listed))) lines << QStringLiteral("• ") + problem;
        if (all.size() > qsizetype(listed))
            lines << tr("…and %1 more (see Show Details)").arg(all.size() - qsizetype(listed));
        message = lines.join(QLatin1Char('\n'));
    }
    sync(problems_, tr("Some Originals Were Not Handled"), message, [this] { problemsDismissed_ = true; });
    if (problems_ && all.size() > qsizetype(listed)) problems_->setDetailedText(all.join(QLatin1Char('\n')));
}

}  // namespace twinfold
