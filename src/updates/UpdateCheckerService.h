#pragma once

#include "updates/AppUpdate.h"

#include <QFuture>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace twinfold {

// Asks the update endpoint for the published version descriptor and says
// whether it is newer than this build. It keeps nothing between calls but
// its address; every call goes to the network.
//
// The network wait is asynchronous: call it on a thread with a running event
// loop (the interface thread in the application) — the same thread that
// created the service — and consume the future with QFuture::then or a
// QFutureWatcher. Calls may overlap; each sends its own request.
class UpdateCheckerService {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{10'000};
    // A descriptor is a few hundred bytes; anything past this is refused
    // rather than buffered.
    static constexpr qint64 maximumBodySize = 1024 * 1024;

    explicit UpdateCheckerService(QUrl versionURL, std::chrono::milliseconds timeout = defaultTimeout);
    ~UpdateCheckerService();
    UpdateCheckerService(const UpdateCheckerService&) = delete;
    UpdateCheckerService& operator=(const UpdateCheckerService&) = delete;

    const QUrl& versionURL() const { return versionURL_; }

    // One GET of the descriptor. The future holds the update when its version
    // is newer than buildVersionString(), no value when it is not, or an
    // exception: UpdateCheckError (the server answered with a status other
    // than 200, or redirected to an address that is not HTTPS),
    // UpdateTransportError (no answer: refused, unreachable, timed out, TLS),
    // AppUpdateDecodeError (the body is not a valid descriptor or is larger
    // than maximumBodySize). The future is cancelled if the service is
    // destroyed first.
    QFuture<std::optional<AppUpdate>> fetchAvailableUpdate();

private:
    QUrl versionURL_;
    std::chrono::milliseconds timeout_;
    std::unique_ptr<QNetworkAccessManager> network_;
};

}  // namespace twinfold
