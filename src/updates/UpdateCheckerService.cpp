#include "updates/UpdateCheckerService.h"

#include "updates/BuildInfo.h"
#include "updates/UpdateCheckError.h"
#include "updates/VersionComparison.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QTimer>

namespace twinfold {

namespace {

// The state of one request, shared by the reply's handlers.
struct Fetch {
    QPromise<std::optional<AppUpdate>> promise;
    QByteArray body;
    bool redirectRefused = false;
    bool bodyTooLarge = false;
    bool pastDeadline = false;
};

QNetworkRequest descriptorRequest(const QUrl& url, std::chrono::milliseconds timeout) {
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    // Always ask the server: a cached descriptor could hide a new release.
    // The service's manager has no cache, so nothing is read from one;
    // AlwaysNetwork is not used because it adds Cache-Control and Pragma
    // headers, and the request goes out without headers of ours.
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Each redirect is vetted in followOnlyHttps.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    return request;
}

std::optional<int> httpStatus(const QNetworkReply& reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) return std::nullopt;
    return status.toInt();
}

[[noreturn]] void throwTooLarge() {
    throw AppUpdateDecodeError(AppUpdateDecodeError::Kind::tooLarge,
                               QStringLiteral("The data couldn’t be read because it is larger than 1 MiB."));
}

// Qt unpacks a gzip or deflate body as it arrives (the size limit counts the
// unpacked bytes); one that does not unpack is a bad body, not a bad network.
bool failedToDecompress(const QNetworkReply& reply) {
    return reply.error() == QNetworkReply::UnknownContentError && reply.hasRawHeader("Content-Encoding");
}

[[noreturn]] void throwUndecompressable() {
    throw AppUpdateDecodeError(AppUpdateDecodeError::Kind::undecompressable,
                               QStringLiteral("The data couldn’t be read because it could not be decompressed."));
}

std::optional<AppUpdate> newerUpdateIn(const QByteArray& body) {
    AppUpdate update = decodeAppUpdate(body);
    if (!isNewerVersion(update.version.toStdString(), buildVersionString().toStdString())) return std::nullopt;
    return update;
}

bool isTransportFailure(QNetworkReply::NetworkError error) {
    // Qt numbers connection-level errors 1-99 and proxy errors 101-199;
    // 200 and up are answers the server gave.
    return error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

[[noreturn]] void throwTimedOut() {
    throw UpdateTransportError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
}

[[noreturn]] void throwTransportError(const QNetworkReply& reply) {
    // Qt reports its transfer timeout as a cancellation ("Operation
    // canceled"), which would tell the user they stopped it themselves. The
    // only other aborts are ours, and those are flagged before we get here.
    if (reply.error() == QNetworkReply::OperationCanceledError) throwTimedOut();
    throw UpdateTransportError(reply.error(), reply.errorString());
}

// Once the server has answered with a status other than 200 it is the
// server's fault, and that body (an error page, or an oversized one) is never
// decoded. The status is only trusted when the connection did not fail: after
// a followed redirect it still shows the redirect until the next answer.
std::optional<AppUpdate> outcome(QNetworkReply& reply, Fetch& fetch) {
    const std::optional<int> status = httpStatus(reply);
    if (fetch.pastDeadline) throwTimedOut();
    if (fetch.redirectRefused) throw UpdateCheckError(UpdateCheckError::Case::serverError);
    if (fetch.bodyTooLarge) {
        if (status != 200) throw UpdateCheckError(UpdateCheckError::Case::serverError);
        throwTooLarge();
    }
    if (isTransportFailure(reply.error())) throwTransportError(reply);
    if (status != 200) throw UpdateCheckError(UpdateCheckError::Case::serverError);
    if (failedToDecompress(reply)) throwUndecompressable();
    if (reply.error() != QNetworkReply::NoError) throwTransportError(reply);
    return newerUpdateIn(fetch.body);
}

// Reads what has arrived, and stops the transfer as soon as the body passes
// the limit so a runaway server cannot fill memory.
void collectBody(QNetworkReply& reply, Fetch& fetch) {
    fetch.body += reply.read(UpdateCheckerService::maximumBodySize + 1 - fetch.body.size());
    if (fetch.body.size() > UpdateCheckerService::maximumBodySize) {
        fetch.bodyTooLarge = true;
        fetch.body.clear();
        reply.abort();
    }
}

// A redirect may move the descriptor to another HTTPS address, never to a
// plain-text one that anyone on the way could rewrite.
void followOnlyHttps(QNetworkReply& reply, Fetch& fetch, const QUrl& target) {
    if (target.scheme() == QLatin1String("https")) {
        emit reply.redirectAllowed();
        return;
    }
    fetch.redirectRefused = true;
    reply.abort();
}

void complete(QNetworkReply& reply, Fetch& fetch) {
    if (fetch.promise.future().isFinished()) return;
    if (reply.isOpen() && !fetch.bodyTooLarge && !fetch.redirectRefused && !fetch.pastDeadline)
        collectBody(reply, fetch);
    try {
        fetch.promise.addResult(outcome(reply, fetch));
    } catch (...) {
        fetch.promise.setException(std::current_exception());
    }
    fetch.promise.finish();
}

// The transfer timeout only notices silence; this ends the request at the
// deadline whatever is still arriving. The timer belongs to the reply and
// goes with it.
void abortAtDeadline(QNetworkReply& reply, const std::shared_ptr<Fetch>& fetch, std::chrono::milliseconds deadline) {
    auto* timer = new QTimer(&reply);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, &reply, [&reply, fetch] {
        fetch->pastDeadline = true;
        reply.abort();
    });
    timer->start(deadline);
}

}  // namespace

UpdateCheckerService::UpdateCheckerService(QUrl versionURL, std::chrono::milliseconds timeout,
                                           std::chrono::milliseconds deadline)
    : versionURL_(std::move(versionURL)),
      timeout_(timeout),
      deadline_(deadline),
      network_(std::make_unique<QNetworkAccessManager>()) {}

UpdateCheckerService::~UpdateCheckerService() = default;

QFuture<std::optional<AppUpdate>> UpdateCheckerService::fetchAvailableUpdate() {
    auto fetch = std::make_shared<Fetch>();
    fetch->promise.start();
    QFuture<std::optional<AppUpdate>> future = fetch->promise.future();

    QNetworkReply* reply = network_->get(descriptorRequest(versionURL_, timeout_));
    reply->setReadBufferSize(64 * 1024);
    abortAtDeadline(*reply, fetch, deadline_);
    QObject::connect(reply, &QNetworkReply::redirected, reply,
                     [reply, fetch](const QUrl& target) { followOnlyHttps(*reply, *fetch, target); });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, fetch] {
        if (!fetch->bodyTooLarge) collectBody(*reply, *fetch);
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, fetch] {
        complete(*reply, *fetch);
        reply->deleteLater();
    });
    return future;
}

}  // namespace twinfold
