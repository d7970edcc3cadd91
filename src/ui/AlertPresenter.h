#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QWidget;

namespace twinfold {

class ScanViewModel;
class UpdateViewModel;

// The window's alerts, each shown while its view-model field says so:
// "Error" (errorMessage), "Up to Date" (showUpToDate) and "Update Check
// Failed" (checkError); closing one clears its field. The fourth lists the
// originals a conversion could not handle as asked, once per outcome: the
// outcome itself stays for the action bar until the next scan or conversion.
class AlertPresenter : public QObject {
    Q_OBJECT
public:
#if TWINFOLD_UPDATE_CHECK
    AlertPresenter(ScanViewModel& viewModel, UpdateViewModel& updateVM, QWidget* window);
#else
    AlertPresenter(ScanViewModel& viewModel, QWidget* window);
#endif

    QMessageBox* errorAlert() const { return error_; }
    QMessageBox* upToDateAlert() const { return upToDate_; }
    QMessageBox* checkFailedAlert() const { return checkFailed_; }
    QMessageBox* originalsProblemsAlert() const { return problems_; }

private:
    // Shows, updates or (quietly) takes down one alert to match `message`.
    void sync(QPointer<QMessageBox>& alert, const QString& title, const std::optional<QString>& message,
              std::function<void()> dismissed);
    void syncError();
#if TWINFOLD_UPDATE_CHECK
    void syncUpToDate();
    void syncCheckFailed();
#endif
    void syncProblems();

    ScanViewModel& viewModel_;
#if TWINFOLD_UPDATE_CHECK
    UpdateViewModel& updateVM_;
#endif
    QWidget* window_;
    QPointer<QMessageBox> error_;
    QPointer<QMessageBox> upToDate_;
    QPointer<QMessageBox> checkFailed_;
    QPointer<QMessageBox> problems_;
    bool problemsDismissed_ = false;  // for the outcome now published
};

}  // namespace twinfold
