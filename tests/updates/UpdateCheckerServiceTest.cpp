#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "updates/BuildInfo.h"
#include "updates/UpdateCheckError.h"
#include "updates/UpdateCheckerService.h"

#include <gtest/gtest.h>

#include <exception>
#include <ostream>

namespace twinfold {
namespace {

using test::CannedResponse;
using test::TestHttpServer;

const QString kNewer = buildVersionString() + ".1";  // one more component is always newer

QByteArray descriptor(const QString& version, qint64 build = 42)
{
    return encodeAppUpdate({version, build, "https://www.twinfold.example/download", "Notes", "2024-05-01"});
}

CannedResponse answer(int status, QByteArray body, QList<QPair<QByteArray, QByteArray>> headers = {})
{
    CannedResponse response;
    response.status = status;
    response.body = std::move(body);
    response.headers = std::move(headers);
    return response;
}

// The outcome of one fetch: the update (or none), or the exception it failed with.
struct Outcome {
    std::optional<AppUpdate> update;
    std::exception_ptr error;
};

Outcome fetchOnce(UpdateCheckerService& service)
{
    QFuture<std::optional<AppUpdate>> future = test::finished(service.fetchAvailableUpdate());
    if (!future.isFinished())
        throw std::runtime_error("the fetch never finished");
    try {
        return {future.result(), nullptr};
    } catch (...) {
        return {std::nullopt, std::current_exception()};
    }
}

// The error of a failed fetch as type E; fails the test for any other outcome.
template <typename E>
std::optional<E> errorAs(const Outcome& outcome)
{
    if (!outcome.error) {
        ADD_FAILURE() << "the fetch succeeded";
        return std::nullopt;
    }
    try {
        std::rethrow_exception(outcome.error);
    } catch (const E& error) {
        return error;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "failed with another error: " << other.what();
    }
    return std::nullopt;
}

std::optional<AppUpdateDecodeError::Kind> decodeErrorKind(const Outcome& outcome)
{
    const auto error = errorAs<AppUpdateDecodeError>(outcome);
    return error ? std::optional(error->kind()) : std::nullopt;
}

class UpdateCheckerServiceTest : public ::testing::Test {
protected:
    TestHttpServer server;
    UpdateCheckerService service{server.url()};
};

// --- what the published version means -------------------------------------

struct PublishedCase {
    const char* name;
    QString version;
    qint64 build;
    bool offered;
};

std::ostream& operator<<(std::ostream& out, const PublishedCase& c) { return out << c.name; }

class PublishedVersion : public UpdateCheckerServiceTest, public ::testing::WithParamInterface<PublishedCase> {};

TEST_P(PublishedVersion, IsOfferedOnlyWhenNewerThanThisBuild)
{
    const PublishedCase& c = GetParam();
    server.respondWith(answer(200, descriptor(c.version, c.build)));
    const Outcome outcome = fetchOnce(service);
    ASSERT_FALSE(outcome.error);
    ASSERT_EQ(outcome.update.has_value(), c.offered);
    if (c.offered) {
        EXPECT_EQ(*outcome.update, decodeAppUpdate(descriptor(c.version, c.build)));
    }
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].path, "/public/version.json");
}

TEST_F(UpdateCheckerServiceTest, SendsNoCacheOrConditionalHeaders)
{
    server.respondWith(answer(200, descriptor(kNewer)));
    fetchOnce(service);
    ASSERT_EQ(server.requests().size(), 1);
    for (const char* name : {"cache-control", "pragma", "if-modified-since", "if-none-match", "authorization"})
        EXPECT_FALSE(server.requests()[0].headerNames.contains(name)) << name;
}

INSTANTIATE_TEST_SUITE_P(Versions, PublishedVersion,
                         ::testing::Values(PublishedCase{"newer", kNewer, 1, true},
                                           PublishedCase{"equal", buildVersionString(), 1, false},
                                           PublishedCase{"equalWithHigherBuild", buildVersionString(), 999999, false},
                                           PublishedCase{"older", "0", 1, false},
                                           PublishedCase{"noNumericPieces", "beta", 1, false}),
                         [](const auto& info) { return info.param.name; });

TEST_F(UpdateCheckerServiceTest, IgnoresExtraKeys)
{
    server.respondWith(answer(200, R"({"version":")" + kNewer.toUtf8() + R"(","build":7,"downloadURL":"d",
        "releaseNotes":"n","releaseDate":"r","channel":"stable","minimumOS":{"linux":"debian12"}})"));
    const Outcome outcome = fetchOnce(service);
    ASSERT_TRUE(outcome.update.has_value());
    EXPECT_EQ(outcome.update->build, 7);
}

// --- the server answers with something else than 200 -------------------------

class StatusOtherThan200 : public UpdateCheckerServiceTest, public ::testing::WithParamInterface<int> {};

TEST_P(StatusOtherThan200, IsAServerErrorAndTheBodyIsNotDecoded)
{
    server.respondWith(answer(GetParam(), descriptor(kNewer)));
    const auto error = errorAs<UpdateCheckError>(fetchOnce(service));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), UpdateCheckError::Case::serverError);
    EXPECT_STREQ(error->what(),
                 "Could not reach the update server. Please check your internet connection and try again.");
}

INSTANTIATE_TEST_SUITE_P(Statuses, StatusOtherThan200, ::testing::Values(201, 204, 404, 500, 503));

TEST_F(UpdateCheckerServiceTest, MissingKeyIsADecodeErrorNotAServerError)
{
    server.respondWith(answer(200, R"({"version":"9","build":1,"downloadURL":"d","releaseNotes":"n"})"));
    const auto error = errorAs<AppUpdateDecodeError>(fetchOnce(service));
    ASSERT_TRUE(error);
    EXPECT_STREQ(error->what(), "The data couldn’t be read because the key “releaseDate” is missing.");
}

TEST_F(UpdateCheckerServiceTest, MalformedJsonAndWrongTypesAreDecodeErrors)
{
    server.respondWith(answer(200, R"({"version": "9", "build": )"));
    EXPECT_EQ(decodeErrorKind(fetchOnce(service)), AppUpdateDecodeError::Kind::invalidJSON);
    server.respondWith(answer(200, R"({"version":"9","build":"1","downloadURL":"d","releaseNotes":"n","releaseDate":"r"})"));
    EXPECT_EQ(decodeErrorKind(fetchOnce(service)), AppUpdateDecodeError::Kind::wrongType);
}

// --- the size guard ------------------------------------------------------------

TEST_F(UpdateCheckerServiceTest, ABodyOfExactlyTheLimitIsStillRead)
{
    QByteArray body = descriptor(kNewer);
    body.append(UpdateCheckerService::maximumBodySize - body.size(), ' ');
    server.respondWith(answer(200, body));
    EXPECT_TRUE(fetchOnce(service).update.has_value());
}

TEST_F(UpdateCheckerServiceTest, OneByteOverTheLimitIsADecodeError)
{
    QByteArray body = descriptor(kNewer);
    body.append(UpdateCheckerService::maximumBodySize + 1 - body.size(), ' ');
    server.respondWith(answer(200, body));
    EXPECT_EQ(decodeErrorKind(fetchOnce(service)), AppUpdateDecodeError::Kind::tooLarge);
}

TEST_F(UpdateCheckerServiceTest, AnEndlessBodyIsCutOffInsteadOfBuffered)
{
    CannedResponse flood;
    flood.behaviour = CannedResponse::Behaviour::oversized;
    flood.oversizedLength = qint64(1) << 30;
    server.respondWith(flood);
    const auto error = errorAs<AppUpdateDecodeError>(fetchOnce(service));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), AppUpdateDecodeError::Kind::tooLarge);
    EXPECT_STREQ(error->what(), "The data couldn’t be read because it is larger than 1 MiB.");
    // Only the limit plus what the socket buffers held on the way ever left the server.
    EXPECT_LT(server.oversizedBytesSent(), qint64(64) << 20);
}

// --- no answer at all ------------------------------------------------------------

TEST_F(UpdateCheckerServiceTest, ServerThatNeverAnswersTimesOut)
{
    CannedResponse silence;
    silence.behaviour = CannedResponse::Behaviour::hold;
    server.respondWith(silence);
    UpdateCheckerService impatient(server.url(), std::chrono::milliseconds(200));
    const auto error = errorAs<UpdateTransportError>(fetchOnce(impatient));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::TimeoutError);
    EXPECT_STREQ(error->what(), "The request timed out.");
    EXPECT_EQ(server.requests().size(), 1);
}

TEST(UpdateCheckerServiceTransport, ClosedPortPassesTheNetworkErrorThrough)
{
    UpdateCheckerService service(QUrl(QStringLiteral("http://127.0.0.1:%1/public/version.json")
                                          .arg(TestHttpServer::closedPort())));
    const auto error = errorAs<UpdateTransportError>(fetchOnce(service));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::ConnectionRefusedError);
    EXPECT_STREQ(error->what(), "Connection refused");
}

// --- redirects ----------------------------------------------------------------------

TEST_F(UpdateCheckerServiceTest, RedirectToPlainHttpIsNotFollowed)
{
    server.respondWith(answer(302, {}, {{"Location", server.url("/moved/version.json").toEncoded()}}));
    EXPECT_TRUE(errorAs<UpdateCheckError>(fetchOnce(service)));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(UpdateCheckerServiceTest, RedirectToHttpsIsFollowed)
{
    // Nothing listens at the HTTPS target: following it shows up as a
    // transport error, refusing it would have been a server error.
    const QByteArray target =
        QStringLiteral("https://127.0.0.1:%1/public/version.json").arg(TestHttpServer::closedPort()).toUtf8();
    server.respondWith(answer(301, {}, {{"Location", target}}));
    const auto error = errorAs<UpdateTransportError>(fetchOnce(service));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::ConnectionRefusedError);
}

}  // namespace
}  // namespace twinfold
