#include "updates/UpdateCheckerService.h"

#include "updates/BuildInfo.h"
#include "updates/UpdateCheckError.h"
#include "updates/VersionComparison.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>

namespace twinfold {

namespace {

// The state of one request, shared by the reply's handlers.
struct Fetch {
    QPromise<std::optional<AppUpdate>> promise;
    QByteArray body;
    bool redirectRefused = false;
    bool bodyTooLarge = false;
};

QNetworkRequest descriptorRequest(const QUrl& url, std::chrono::milliseconds timeout)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    // Always ask the server: a cached descriptor could hide a new release.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Each redirect is vetted in followOnlyHttps.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    return request;
}

std::optional<int> httpStatus(const QNetworkReply& reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

[[noreturn]] void throwTooLarge()
{
    throw AppUpdateDecodeError(AppUpdateDecodeError::Kind::tooLarge,
                               QStringLiteral("The data couldn’t be read because it is larger than 1 MiB."));
}

std::optional<AppUpdate> newerUpdateIn(const QByteArray& body)
{
    AppUpdate update = decodeAppUpdate(body);
    if (!isNewerVersion(update.version.toStdString(), buildVersionString().toStdString()))
        return std::nullopt;
    return update;
}

// A status other than 200 wins over everything else the reply may report:
// the server did answer, so it is the server's fault, and its body (an error
// page, or an oversized one) is never decoded.
std::optional<AppUpdate> outcome(QNetworkReply& reply, Fetch& fetch)
{
    const std::optional<int> status = httpStatus(reply);
    if (fetch.redirectRefused || (status && *status != 200))
        throw UpdateCheckError(UpdateCheckError::Case::serverError);
    if (fetch.bodyTooLarge)
        throwTooLarge();
    if (reply.error() != QNetworkReply::NoError)
        throw UpdateTransportError(reply.error(), reply.errorString());
    if (!status)
        throw UpdateCheckError(UpdateCheckError::Case::serverError);
    return newerUpdateIn(fetch.body);
}

// Reads what has arrived, and stops the transfer as soon as the body passes
// the limit so a runaway server cannot fill memory.
void collectBody(QNetworkReply& reply, Fetch& fetch)
{
    fetch.body += reply.read(UpdateCheckerService::maximumBodySize + 1 - fetch.body.size());
    if (fetch.body.size() > UpdateCheckerService::maximumBodySize) {
        fetch.bodyTooLarge = true;
        fetch.body.clear();
        reply.abort();
    }
}

// A redirect may move the descriptor to another HTTPS address, never to a
// plain-text one that anyone on the way could rewrite.
void followOnlyHttps(QNetworkReply& reply, Fetch& fetch, const QUrl& target)
{
    if (target.scheme() == QLatin1String("https")) {
        emit reply.redirectAllowed();
        return;
    }
    fetch.redirectRefused = true;
    reply.abort();
}

void complete(QNetworkReply& reply, Fetch& fetch)
{
    if (fetch.promise.future().isFinished())
        return;
    if (!fetch.bodyTooLarge && !fetch.redirectRefused)
        collectBody(reply, fetch);
    try {
        fetch.promise.addResult(outcome(reply, fetch));
    } catch (...) {
        fetch.promise.setException(std::current_exception());
    }
    fetch.promise.finish();
}

}  // namespace

UpdateCheckerService::UpdateCheckerService(QUrl versionURL, std::chrono::milliseconds timeout)
    : versionURL_(std::move(versionURL)), timeout_(timeout), network_(std::make_unique<QNetworkAccessManager>())
{
}

UpdateCheckerService::~UpdateCheckerService() = default;

QFuture<std::optional<AppUpdate>> UpdateCheckerService::fetchAvailableUpdate()
{
    auto fetch = std::make_shared<Fetch>();
    fetch->promise.start();
    QFuture<std::optional<AppUpdate>> future = fetch->promise.future();

    QNetworkReply* reply = network_->get(descriptorRequest(versionURL_, timeout_));
    reply->setReadBufferSize(64 * 1024);
    QObject::connect(reply, &QNetworkReply::redirected, reply,
                     [reply, fetch](const QUrl& target) { followOnlyHttps(*reply, *fetch, target); });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, fetch] {
        if (!fetch->bodyTooLarge)
            collectBody(*reply, *fetch);
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, fetch] {
        complete(*reply, *fetch);
        reply->deleteLater();
    });
    return future;
}

}  // namespace twinfold
