#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "updates/BuildInfo.h"
#include "updates/UpdateCheckerService.h"

#include <QElapsedTimer>

#include <zlib.h>

namespace twinfold {
namespace {

using test::CannedResponse;
using test::TestHttpServer;

const QString kNewer = test::newerVersion();

QByteArray descriptor(const QString& version, qint64 build = 42) {
    return encodeAppUpdate({version, build, "https://www.twinfold.example/download", "Notes", "2024-05-01"});
}

std::optional<AppUpdate> fetch(UpdateCheckerService& service) {
    const auto future = test::finished(service.fetchAvailableUpdate());
    return future.isFinished() ? future.result() : throw std::runtime_error("the fetch never finished");
}

// What a failed fetch says, and for a refused document the kind of refusal.
using Failure = std::pair<std::string, std::optional<AppUpdateDecodeError::Kind>>;

Failure fetchFailure(UpdateCheckerService& service) {
    try {
        fetch(service);
    } catch (const AppUpdateDecodeError& error) {
        return {error.what(), error.kind()};
    } catch (const std::exception& error) {
        return {error.what(), std::nullopt};
    }
    ADD_FAILURE() << "the fetch succeeded";
    return {};
}

QByteArray gzipped(const QByteArray& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);  // 16: gzip framing
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    deflateEnd(&stream);
    return out.left(qsizetype(stream.total_out));
}

class UpdateCheckerServiceTest : public ::testing::Test {
protected:
    TestHttpServer server;
    UpdateCheckerService service{server.url()};
};

// The build number plays no part: only a newer version is offered.
TEST_F(UpdateCheckerServiceTest, OffersThePublishedVersionOnlyWhenNewerThanThisBuild) {
    const std::tuple<QString, qint64, bool> cases[] = {
        {kNewer, 1, true}, {buildVersionString(), 1, false}, {buildVersionString(), 999999, false}, {"0", 1, false}};
    for (const auto& [version, build, offered] : cases) {
        SCOPED_TRACE(version.toStdString() + " build " + std::to_string(build));
        server.respondWith({200, descriptor(version, build)});
        EXPECT_EQ(fetch(service), offered ? std::optional(decodeAppUpdate(descriptor(version, build))) : std::nullopt);
    }
    ASSERT_EQ(server.requests().size(), std::size(cases));
    EXPECT_EQ(server.requests()[0].method + " " + server.requests()[0].path, "GET /public/version.json");
    // A plain request: the answer is taken as it comes, with no added headers.
    for (const char* name : {"cache-control", "pragma", "if-modified-since", "if-none-match", "authorization"})
        EXPECT_FALSE(server.requests()[0].headerNames.contains(name)) << name;
}

// A body of exactly the limit is read, and gzip (which Qt asks for) is
// unpacked as it arrives.
TEST_F(UpdateCheckerServiceTest, ABodyAtTheLimitOrGzippedIsRead) {
    QByteArray body = descriptor(kNewer);
    body.append(UpdateCheckerService::maximumBodySize - body.size(), ' ');
    server.respondWith({200, body});
    EXPECT_TRUE(fetch(service).has_value());
    server.respondWith({200, gzipped(descriptor(kNewer)), {{"Content-Encoding", "gzip"}}});
    EXPECT_EQ(fetch(service), decodeAppUpdate(descriptor(kNewer)));
    EXPECT_TRUE(server.requests().last().headerNames.contains("accept-encoding"));
}

// Anything but a 200 with a plain version number in at most the limit's
// bytes (unpacked, for gzip) is refused, and the text of the refusal never
// quotes the server at length. A redirect is followed only to HTTPS (where
// nothing listens, so the network's own error passes through).
TEST_F(UpdateCheckerServiceTest, EveryOtherAnswerIsRefused) {
    using Kind = AppUpdateDecodeError::Kind;
    const std::string serverError =
        "Could not reach the update server. Please check your internet connection and try again.";
    const std::string tooLarge = "The data couldn’t be read because it is larger than 1 MiB.";
    QByteArray limitAndOne = descriptor(kNewer);
    limitAndOne.append(UpdateCheckerService::maximumBodySize + 1 - limitAndOne.size(), ' ');
    const QList<QPair<QByteArray, QByteArray>> gzip{{"Content-Encoding", "gzip"}};
    const QString https = QStringLiteral("https://127.0.0.1:%1/public/version.json").arg(TestHttpServer::closedPort());
    const struct {
        CannedResponse response;
        std::string what;  // empty: only the kind is checked
        std::optional<Kind> kind;
    } rows[] = {
        {{201, descriptor(kNewer)}, serverError, {}},
        {{503, descriptor(kNewer)}, serverError, {}},
        {{302, {}, {{"Location", server.url("/moved/version.json").toEncoded()}}}, serverError, {}},
        {{301, {}, {{"Location", https.toUtf8()}}}, "Connection refused", {}},
        {{200, descriptor("99.<b>HACKED</b><img src='file:///etc/passwd'>")},
         "The version “99.<b>HACKED</b><img src='file:/…” is not a version number.",
         Kind::notAVersion},
        {{200, descriptor(QString("9").repeated(500'000))},
         "The version “" + std::string(32, '9') + "…” is not a version number.",
         Kind::notAVersion},
        {{200, limitAndOne}, tooLarge, Kind::tooLarge},
        {{.behaviour = CannedResponse::Behaviour::oversized, .oversizedLength = qint64(1) << 30},
         tooLarge,
         Kind::tooLarge},
        {{200, gzipped(descriptor(kNewer) + QByteArray(8 << 20, ' ')), gzip}, tooLarge, Kind::tooLarge},
        {{200, "not gzip at all", gzip}, "", Kind::undecompressable},
        // a cut stream unpacks to what arrived, which is not the whole document
        {{200, gzipped(descriptor(kNewer)).chopped(12), gzip}, "", Kind::invalidJSON},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        const qsizetype before = server.requests().size();
        server.respondWith(row.response);
        const Failure failure = fetchFailure(service);
        EXPECT_TRUE(row.what.empty() || failure.first == row.what) << failure.first;
        EXPECT_EQ(failure.second, row.kind);
        EXPECT_EQ(server.requests().size(), before + 1) << "one request, no redirect followed over HTTP";
    }
    // Only the limit plus what the socket buffers held on the way ever left the server.
    EXPECT_LT(server.oversizedBytesSent(), qint64(64) << 20);
}

// A server that never answers, a byte now and then, or a TLS handshake
// nobody answers after a redirect to HTTPS on the same local server: the
// request ends with a timeout, the deadline ending what silence does not.
TEST_F(UpdateCheckerServiceTest, ARequestThatDragsOnEndsAtTheDeadline) {
    const QString selfOverHttps = QStringLiteral("https://127.0.0.1:%1/public/version.json").arg(server.url().port());
    const CannedResponse cases[] = {
        {.behaviour = CannedResponse::Behaviour::hold},
        {.status = 200, .body = descriptor(kNewer), .behaviour = CannedResponse::Behaviour::trickle},
        {.status = 301, .headers = {{"Location", selfOverHttps.toUtf8()}}},
    };
    UpdateCheckerService bounded(server.url(), std::chrono::milliseconds(1000), std::chrono::milliseconds(600));
    for (const auto& response : cases) {
        SCOPED_TRACE(response.status);
        server.respondWith(response);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(fetchFailure(bounded).first, "The request timed out.");
        EXPECT_LT(clock.elapsed(), 2500);
    }
}

}  // namespace
}  // namespace twinfold
