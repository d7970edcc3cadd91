#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "updates/BuildInfo.h"
#include "updates/UpdateCheckError.h"
#include "updates/UpdateCheckerService.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace twinfold {
namespace {

using test::CannedResponse;
using test::TestHttpServer;

const QString kNewer = buildVersionString() + ".1";  // one more component is always newer

QByteArray descriptor(const QString& version, qint64 build = 42)
{
    return encodeAppUpdate({version, build, "https://www.twinfold.example/download", "Notes", "2024-05-01"});
}

std::optional<AppUpdate> fetch(UpdateCheckerService& service)
{
    QFuture<std::optional<AppUpdate>> future = test::finished(service.fetchAvailableUpdate());
    if (!future.isFinished())
        throw std::runtime_error("the fetch never finished");
    return future.result();
}

// The error a fetch fails with; another type of error escapes and fails the test.
template <typename E>
std::optional<E> fetchError(UpdateCheckerService& service)
{
    try {
        fetch(service);
    } catch (const E& error) {
        return error;
    }
    ADD_FAILURE() << "the fetch succeeded";
    return std::nullopt;
}

class UpdateCheckerServiceTest : public ::testing::Test {
protected:
    std::optional<AppUpdateDecodeError::Kind> decodeErrorKind()
    {
        const auto error = fetchError<AppUpdateDecodeError>(service);
        return error ? std::optional(error->kind()) : std::nullopt;
    }

    TestHttpServer server;
    UpdateCheckerService service{server.url()};
};

TEST_F(UpdateCheckerServiceTest, OffersThePublishedVersionOnlyWhenNewerThanThisBuild)
{
    const struct {
        QString version;
        qint64 build;
        bool offered;
    } cases[] = {{kNewer, 1, true}, {buildVersionString(), 1, false}, {buildVersionString(), 999999, false},
                 {"0", 1, false}, {"beta", 1, false}};
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

TEST_F(UpdateCheckerServiceTest, AnyStatusOtherThan200IsAServerErrorAndTheBodyIsNotDecoded)
{
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

TEST_F(UpdateCheckerServiceTest, AnUnreadableBodyIsADecodeErrorNotAServerError)
{
    server.respondWith({200, R"({"version": "9", "build": )"});
    EXPECT_EQ(decodeErrorKind(), AppUpdateDecodeError::Kind::invalidJSON);
}

TEST_F(UpdateCheckerServiceTest, ABodyOfExactlyTheLimitIsReadAndOneByteMoreIsNot)
{
    QByteArray body = descriptor(kNewer);
    body.append(UpdateCheckerService::maximumBodySize - body.size(), ' ');
    server.respondWith({200, body});
    EXPECT_TRUE(fetch(service).has_value());
    server.respondWith({200, body + ' '});
    EXPECT_EQ(decodeErrorKind(), AppUpdateDecodeError::Kind::tooLarge);
}

TEST_F(UpdateCheckerServiceTest, AnEndlessBodyIsCutOffInsteadOfBuffered)
{
    server.respondWith({.behaviour = CannedResponse::Behaviour::oversized, .oversizedLength = qint64(1) << 30});
    const auto error = fetchError<AppUpdateDecodeError>(service);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), AppUpdateDecodeError::Kind::tooLarge);
    EXPECT_STREQ(error->what(), "The data couldn’t be read because it is larger than 1 MiB.");
    // Only the limit plus what the socket buffers held on the way ever left the server.
    EXPECT_LT(server.oversizedBytesSent(), qint64(64) << 20);
}

TEST_F(UpdateCheckerServiceTest, ServerThatNeverAnswersTimesOut)
{
    server.respondWith({.behaviour = CannedResponse::Behaviour::hold});
    UpdateCheckerService impatient(server.url(), std::chrono::milliseconds(200));
    const auto error = fetchError<UpdateTransportError>(impatient);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::TimeoutError);
    EXPECT_STREQ(error->what(), "The request timed out.");
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(UpdateCheckerServiceTest, RedirectToPlainHttpIsNotFollowed)
{
    server.respondWith({302, {}, {{"Location", server.url("/moved/version.json").toEncoded()}}});
    EXPECT_TRUE(fetchError<UpdateCheckError>(service));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(UpdateCheckerServiceTest, RedirectToHttpsIsFollowed)
{
    // Nothing listens at the HTTPS target: following it shows up as the
    // network's own error, passed through; refusing it would have been a
    // server error.
    const QString target = QStringLiteral("https://127.0.0.1:%1/public/version.json").arg(TestHttpServer::closedPort());
    server.respondWith({301, {}, {{"Location", target.toUtf8()}}});
    const auto error = fetchError<UpdateTransportError>(service);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::ConnectionRefusedError);
    EXPECT_STREQ(error->what(), "Connection refused");
}

}  // namespace
}  // namespace twinfold
