#pragma once

#include "records/SettingsService.h"
#include "updates/AppUpdate.h"
#include "updates/UpdateCheckerService.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace twinfold {

// Hands an address to whatever opens it for the user (the desktop's default
// browser in the window; nothing in a front end without one).
using UrlOpener = std::function<void(const QUrl&)>;

// The interface-side state of update checking: the offered update, the
// banner's visibility, the skipped version and the flags behind the "Up to
// Date" and "Update Check Failed" alerts. Lives on the interface thread;
// every change emits the matching signal.
class UpdateViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isChecking READ isChecking NOTIFY isCheckingChanged)
    Q_PROPERTY(bool isCheckingForUser READ isCheckingForUser NOTIFY isCheckingForUserChanged)
    Q_PROPERTY(bool bannerDismissed READ bannerDismissed WRITE setBannerDismissed NOTIFY bannerDismissedChanged)
    Q_PROPERTY(bool showUpToDate READ showUpToDate WRITE setShowUpToDate NOTIFY showUpToDateChanged)
    Q_PROPERTY(bool shouldShowBanner READ shouldShowBanner NOTIFY shouldShowBannerChanged)

public:
    // Checks against the build's endpoint. The skipped version is kept in
    // `settings`, which must outlive the view model.
    explicit UpdateViewModel(SettingsService& settings, QObject* parent = nullptr);
    // Checks through the given service (tests point one at a local server).
    UpdateViewModel(SettingsService& settings, std::unique_ptr<UpdateCheckerService> checker,
                    QObject* parent = nullptr);
    ~UpdateViewModel() override;

    const std::optional<AppUpdate>& availableUpdate() const { return availableUpdate_; }
    bool isChecking() const { return isChecking_; }
    // A check runs whose outcome the user asked to hear: the window shows
    // that it is checking.
    bool isCheckingForUser() const { return isChecking_ && reportsOutcome_; }
    bool bannerDismissed() const { return bannerDismissed_; }
    bool showUpToDate() const { return showUpToDate_; }
    const std::optional<QString>& checkError() const { return checkError_; }
    const std::optional<QString>& skippedVersion() const { return skippedVersion_; }
    bool shouldShowBanner() const;
    // The "check at launch" setting as it stands now.
    bool checksAtLaunch() const { return settings_.current().checkForUpdatesOnLaunch; }

    // The banner's close button, and the two alerts when dismissed.
    void setBannerDismissed(bool dismissed);
    void setShowUpToDate(bool show);
    void setCheckError(const std::optional<QString>& error);

    // Where downloadUpdate() sends the address; without one it does nothing.
    void setUrlOpener(UrlOpener opener) { opener_ = std::move(opener); }

    // One check. A silent one (at launch) never raises an alert; one the user
    // asked for reports "up to date" or its failure. While a check runs no
    // second request is sent: asking again joins the running check (and a
    // user's request makes it report its outcome). The future finishes once
    // the outcome is published.
    QFuture<void> runUpdateCheck(bool silent);
    // Hides the offered version's banner, now and in later runs.
    void skipVersion();
    // Opens the offered download address, if it is a web address.
    void downloadUpdate();

signals:
    void availableUpdateChanged();
    void isCheckingChanged();
    void isCheckingForUserChanged();
    void bannerDismissedChanged();
    void showUpToDateChanged();
    void checkErrorChanged();
    void skippedVersionChanged();
    void shouldShowBannerChanged();

private:
    void publishOutcome(const QFuture<std::optional<AppUpdate>>& fetched);
    void setAvailableUpdate(std::optional<AppUpdate> update);
    void setChecking(bool checking, bool reportsOutcome);
    void setSkippedVersion(const QString& version);
    void notifyBannerChange(bool wasShown);

    SettingsService& settings_;
    std::unique_ptr<UpdateCheckerService> checker_;
    UrlOpener opener_;
    std::optional<AppUpdate> availableUpdate_;
    bool isChecking_ = false;
    bool reportsOutcome_ = false;
    QFuture<void> runningCheck_;
    bool bannerDismissed_ = false;
    bool showUpToDate_ = false;
    std::optional<QString> checkError_;
    std::optional<QString> skippedVersion_;
};

// The launch check: reads the settings afresh and, when checking at launch is
// on, runs a silent check. The application calls it once, when the window
// first shows. The future finishes at once when the setting is off.
QFuture<void> checkForUpdatesOnLaunch(UpdateViewModel& model);

}  // namespace twinfold
