#include "updates/UpdateViewModel.h"

#include "updates/BuildInfo.h"

namespace twinfold {

namespace {

// The address comes from the network; only a web page or download may be
// handed to the desktop, never a local file or another program's scheme.
bool isWebAddress(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("https") || scheme == QLatin1String("http")) &&
           !url.host().isEmpty();
}

}  // namespace

UpdateViewModel::UpdateViewModel(SettingsService& settings, QObject* parent)
    : UpdateViewModel(settings, std::make_unique<UpdateCheckerService>(defaultUpdateURL()), parent) {}

UpdateViewModel::UpdateViewModel(SettingsService& settings, std::unique_ptr<UpdateCheckerService> checker,
                                 QObject* parent)
    : QObject(parent), settings_(settings), checker_(std::move(checker)) {
    if (const auto& skipped = settings_.current().skippedUpdateVersion)
        skippedVersion_ = QString::fromStdString(*skipped);
}

UpdateViewModel::~UpdateViewModel() = default;

bool UpdateViewModel::shouldShowBanner() const {
    return availableUpdate_ && !bannerDismissed_ && (!skippedVersion_ || *skippedVersion_ != availableUpdate_->version);
}

QFuture<void> UpdateViewModel::runUpdateCheck(bool silent) {
    if (isChecking_) {
        setChecking(true, reportsOutcome_ || !silent);
        return runningCheck_;
    }
    setChecking(true, !silent);
    setBannerDismissed(false);  // a banner closed earlier may show again
    runningCheck_ = checker_->fetchAvailableUpdate().then(
        this, [this](const QFuture<std::optional<AppUpdate>>& fetched) { publishOutcome(fetched); });
    return runningCheck_;
}

void UpdateViewModel::publishOutcome(const QFuture<std::optional<AppUpdate>>& fetched) {
    const bool silent = !reportsOutcome_;
    try {
        std::optional<AppUpdate> update = fetched.result();
        const bool upToDate = !update;
        setAvailableUpdate(std::move(update));
        if (!silent && upToDate) setShowUpToDate(true);
    } catch (const std::exception& error) {
        if (!silent) setCheckError(QString::fromUtf8(error.what()));
    }
    setChecking(false, false);
}

void UpdateViewModel::skipVersion() {
    if (!availableUpdate_) return;
    // One field changed: the other settings stay as stored now.
    const std::string version = availableUpdate_->version.toStdString();
    settings_.update([&](AppSettings& settings) { settings.skippedUpdateVersion = version; });
    setSkippedVersion(availableUpdate_->version);
    setBannerDismissed(true);
}

void UpdateViewModel::downloadUpdate() {
    if (!availableUpdate_ || !opener_) return;
    const QUrl url(availableUpdate_->downloadURL, QUrl::StrictMode);
    if (isWebAddress(url)) opener_(url);
}

void UpdateViewModel::setAvailableUpdate(std::optional<AppUpdate> update) {
    if (update == availableUpdate_) return;
    const bool wasShown = shouldShowBanner();
    availableUpdate_ = std::move(update);
    emit availableUpdateChanged();
    notifyBannerChange(wasShown);
}

void UpdateViewModel::setChecking(bool checking, bool reportsOutcome) {
    const bool wasChecking = isChecking_;
    const bool wasForUser = isCheckingForUser();
    isChecking_ = checking;
    reportsOutcome_ = reportsOutcome;
    if (isChecking_ != wasChecking) emit isCheckingChanged();
    if (isCheckingForUser() != wasForUser) emit isCheckingForUserChanged();
}

void UpdateViewModel::setBannerDismissed(bool dismissed) {
    if (dismissed == bannerDismissed_) return;
    const bool wasShown = shouldShowBanner();
    bannerDismissed_ = dismissed;
    emit bannerDismissedChanged();
    notifyBannerChange(wasShown);
}

void UpdateViewModel::setShowUpToDate(bool show) {
    if (show == showUpToDate_) return;
    showUpToDate_ = show;
    emit showUpToDateChanged();
}

void UpdateViewModel::setCheckError(const std::optional<QString>& error) {
    if (error == checkError_) return;
    checkError_ = error;
    emit checkErrorChanged();
}

void UpdateViewModel::setSkippedVersion(const QString& version) {
    if (skippedVersion_ == version) return;
    const bool wasShown = shouldShowBanner();
    skippedVersion_ = version;
    emit skippedVersionChanged();
    notifyBannerChange(wasShown);
}

void UpdateViewModel::notifyBannerChange(bool wasShown) {
    if (shouldShowBanner() != wasShown) emit shouldShowBannerChanged();
}

QFuture<void> checkForUpdatesOnLaunch(UpdateViewModel& model) {
    if (!model.checksAtLaunch()) return QtFuture::makeReadyFuture();
    return model.runUpdateCheck(true);
}

}  // namespace twinfold
