#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "updates/BuildInfo.h"
#include "updates/UpdateCheckError.h"
#include "updates/UpdateCheckerService.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <zlib.h>

#include <stdexcept>
#include <string>

namespace twinfold {
namespace {

using test::CannedResponse;
using test::TestHttpServer;

const QString kNewer = buildVersionString() + ".1";  // one more component is always newer

QByteArray descriptor(const QString& version, qint64 build = 42) {
    return encodeAppUpdate({version, build, "https://www.twinfold.example/download", "Notes", "2024-05-01"});
}

std::optional<AppUpdate> fetch(UpdateCheckerService& service) {
    QFuture<std::optional<AppUpdate>> future = test::finished(service.fetchAvailableUpdate());
    if (!future.isFinished()) throw std::runtime_error("the fetch never finished");
    return future.result();
}

// The error a fetch fails with; another type of error escapes and fails the test.
template <typename E>
std::optional<E> fetchError(UpdateCheckerService& service) {
    try {
        fetch(service);
    } catch (const E& error) {
        return error;
    }
    ADD_FAILURE() << "the fetch succeeded";
    return std::nullopt;
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
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

class UpdateCheckerServiceTest : public ::testing::Test {
protected:
    std::optional<AppUpdateDecodeError::Kind> decodeErrorKind() {
        const auto error = fetchError<AppUpdateDecodeError>(service);
        return error ? std::optional(error->kind()) : std::nullopt;
    }

    TestHttpServer server;
    UpdateCheckerService service{server.url()};
};

TEST_F(UpdateCheckerServiceTest, OffersThePublishedVersionOnlyWhenNewerThanThisBuild) {
    const struct {
        QString version;
        qint64 build;
        bool offered;
    } cases[] = {
        {kNewer, 1, true}, {buildVersionString(), 1, false}, {buildVersionString(), 999999, false}, {"0", 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version.toStdString() + " build " + std::to_string(c.build));
        server.respondWith({200, descriptor(c.version, c.build)});
        const auto published = decodeAppUpdate(descriptor(c.version, c.build));
        EXPECT_EQ(fetch(service), c.offered ? std::optional(published) : std::nullopt);
    }
    ASSERT_EQ(server.requests().size(), std::size(cases));
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].path, "/public/version.json");
    // A plain request: the answer is taken as it comes, with no added headers.
    for (const char* name : {"cache-control", "pragma", "if-modified-since", "if-none-match", "authorization"})
        EXPECT_FALSE(server.requests()[0].headerNames.contains(name)) << name;
}

TEST_F(UpdateCheckerServiceTest, AnyStatusOtherThan200IsAServerErrorAndTheBodyIsNotDecoded) {
    for (const int status : {201, 204, 404, 500, 503}) {
        SCOPED_TRACE(status);
        server.respondWith({status, descriptor(kNewer)});
        const auto error = fetchError<UpdateCheckError>(service);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->errorCase(), UpdateCheckError::Case::serverError);
        EXPECT_STREQ(error->what(),
                     "Could not reach the update server. Please check your internet connection and try again.");
    }
}

// A version that is not plain numbers is refused whole and quoted cut short:
// nothing the server sends is read as markup or shown at any length.
TEST_F(UpdateCheckerServiceTest, AnythingButAPlainVersionNumberIsADecodeError) {
    const struct {
        QString version;
        std::string message;
    } cases[] = {
        {"99.<b>HACKED</b><img src='file:///etc/passwd'>",
         "The version “99.<b>HACKED</b><img src='file:/…” is not a version number."},
        {QString("9").repeated(500'000), "The version “" + std::string(32, '9') + "…” is not a version number."},
    };
    for (const auto& c : cases) {
        server.respondWith({200, descriptor(c.version)});
        const auto error = fetchError<AppUpdateDecodeError>(service);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), AppUpdateDecodeError::Kind::notAVersion);
        EXPECT_EQ(std::string(error->what()), c.message);
    }
}

TEST_F(UpdateCheckerServiceTest, ABodyOfExactlyTheLimitIsReadAndOneByteMoreIsNot) {
    QByteArray body = descriptor(kNewer);
    body.append(UpdateCheckerService::maximumBodySize - body.size(), ' ');
    server.respondWith({200, body});
    EXPECT_TRUE(fetch(service).has_value());
    server.respondWith({200, body + ' '});
    EXPECT_EQ(decodeErrorKind(), AppUpdateDecodeError::Kind::tooLarge);
}

TEST_F(UpdateCheckerServiceTest, AnEndlessBodyIsCutOffInsteadOfBuffered) {
    server.respondWith({.behaviour = CannedResponse::Behaviour::oversized, .oversizedLength = qint64(1) << 30});
    const auto error = fetchError<AppUpdateDecodeError>(service);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), AppUpdateDecodeError::Kind::tooLarge);
    EXPECT_STREQ(error->what(), "The data couldn’t be read because it is larger than 1 MiB.");
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
        const auto error = fetchError<UpdateTransportError>(bounded);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), QNetworkReply::TimeoutError);
        EXPECT_STREQ(error->what(), "The request timed out.");
        EXPECT_LT(clock.elapsed(), 2500);
    }
}

// Qt asks for gzip and unpacks it as it arrives; the size limit counts what
// it unpacks to, so a small bomb is cut off like a large body.
TEST_F(UpdateCheckerServiceTest, AGzipBodyIsReadUnpackedWithinTheSameLimit) {
    const QByteArray padded = descriptor(kNewer) + QByteArray(8 << 20, ' ');
    const QList<QPair<QByteArray, QByteArray>> gzip{{"Content-Encoding", "gzip"}};
    server.respondWith({200, gzipped(descriptor(kNewer)), gzip});
    EXPECT_EQ(fetch(service), decodeAppUpdate(descriptor(kNewer)));
    EXPECT_TRUE(server.requests().last().headerNames.contains("accept-encoding"));

    const struct {
        QByteArray body;
        AppUpdateDecodeError::Kind kind;
    } refused[] = {
        {gzipped(padded), AppUpdateDecodeError::Kind::tooLarge},
        {"not gzip at all", AppUpdateDecodeError::Kind::undecompressable},
        // a cut stream unpacks to what arrived, which is not the whole document
        {gzipped(descriptor(kNewer)).chopped(12), AppUpdateDecodeError::Kind::invalidJSON},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.body.size());
        server.respondWith({200, c.body, gzip});
        EXPECT_EQ(decodeErrorKind(), c.kind);
    }
}

// A redirect to plain HTTP is refused as a server error. One to HTTPS is
// followed: nothing listens there, so the network's own error passes through.
TEST_F(UpdateCheckerServiceTest, OnlyARedirectToHttpsIsFollowed) {
    server.respondWith({302, {}, {{"Location", server.url("/moved/version.json").toEncoded()}}});
    const auto refused = fetchError<UpdateCheckError>(service);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->errorCase(), UpdateCheckError::Case::serverError);
    EXPECT_EQ(server.requests().size(), 1);

    const QString target = QStringLiteral("https://127.0.0.1:%1/public/version.json").arg(TestHttpServer::closedPort());
    server.respondWith({301, {}, {{"Location", target.toUtf8()}}});
    const auto error = fetchError<UpdateTransportError>(service);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::ConnectionRefusedError);
    EXPECT_STREQ(error->what(), "Connection refused");
}

}  // namespace
}  // namespace twinfold
