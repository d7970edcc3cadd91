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
    // How long the transfer may stall without a byte moving...
    static constexpr std::chrono::milliseconds defaultTimeout{10'000};
    // ...and how long the whole request may take, redirects included, so a
    // server that trickles a byte now and then cannot keep it open.
    static constexpr std::chrono::milliseconds defaultDeadline{30'000};
    // A descriptor is a few hundred bytes; anything past this is refused
    // rather than buffered.
    static constexpr qint64 maximumBodySize = 1024 * 1024;

    explicit UpdateCheckerService(QUrl versionURL, std::chrono::milliseconds timeout = defaultTimeout,
                                  std::chrono::milliseconds deadline = defaultDeadline);
    ~UpdateCheckerService();
    UpdateCheckerService(const UpdateCheckerService&) = delete;
    UpdateCheckerService& operator=(const UpdateCheckerService&) = delete;

    const QUrl& versionURL() const { return versionURL_; }

    // One GET of the descriptor. The future holds the update when its version
    // is newer than buildVersionString(), no value when it is not, or an
    // exception: UpdateCheckError (the server answered with a status other
    // than 200, or redirected to an address that is not HTTPS),
    // UpdateTransportError (no answer: refused, unreachable, stalled or past
    // the deadline, TLS), AppUpdateDecodeError (the body is not a valid descriptor, does not
    // decompress, or is larger than maximumBodySize once decompressed). The
    // future is cancelled if the service is destroyed first.
    QFuture<std::optional<AppUpdate>> fetchAvailableUpdate();

private:
    QUrl versionURL_;
    std::chrono::milliseconds timeout_;
    std::chrono::milliseconds deadline_;
    std::unique_ptr<QNetworkAccessManager> network_;
};

}  // namespace twinfold
