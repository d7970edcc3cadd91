// The update check: the published descriptor and version numbers, the
// service fetching them from a local server, and the view model's download.
#include "QtTestHelpers.h"
#include "TestHttpServer.h"

#include "support/TempDir.h"
#include "updates/BuildInfo.h"
#include "updates/UpdateCheckerService.h"
#include "updates/UpdateViewModel.h"
#include "updates/VersionComparison.h"
#include "workflow/SettingsStore.h"

#include <QProcess>

namespace twinfold {
namespace {

TEST(AppUpdateDecoding, ReadsTheFiveFieldsExactlyAndIgnoresOthers) {
    // The build is 2^53 + 1: a detour through double would turn it into 2^53.
    const QByteArray descriptor = R"({"version":"1.4.2","build":9007199254740993,"channel":"stable",
        "downloadURL":"https://www.twinfold.example/download","releaseNotes":"Faster scans.",
        "releaseDate":"2024-05-01","minimumOS":{"linux":"debian12"}})";
    EXPECT_EQ(decodeAppUpdate(descriptor),
              (AppUpdate{"1.4.2", 9007199254740993LL, "https://www.twinfold.example/download", "Faster scans.",
                         "2024-05-01"}));
    const AppUpdate odd{"2.0", -3, "https://a.example/x?y=1", "Notes \"quoted\" ü", ""};
    EXPECT_EQ(decodeAppUpdate(encodeAppUpdate(odd)), odd);
}

TEST(AppUpdateDecoding, BadDocumentsThrowADescriptiveDecodeError) {
    using Kind = AppUpdateDecodeError::Kind;
    const QByteArray rest = R"("downloadURL":"u","releaseNotes":"n")";
    // The document, the kind of refusal and, where given, its message.
    const std::tuple<QByteArray, Kind, std::string> cases[] = {
        {R"({"version":"1","build":1,)" + rest + "}", Kind::missingKey,
         "The data couldn’t be read because the key “releaseDate” is missing."},
        {R"({"version":"1","build":"7","releaseDate":"d",)" + rest + "}", Kind::wrongType,
         "The data couldn’t be read because the value of “build” is not a 64-bit integer."},
        {R"({"version":"1","build":1.5,"releaseDate":"d",)" + rest + "}", Kind::wrongType, ""},
        {R"({"version":"1","build":9223372036854775808,"releaseDate":"d",)" + rest + "}", Kind::wrongType, ""},
        {R"({"version":1.2,"build":1,"releaseDate":"d",)" + rest + "}", Kind::wrongType,
         "The data couldn’t be read because the value of “version” is not a string."},
        {R"({"version":"1","build":1,"releaseDate":"d","downloadURL":"u","releaseNotes":null})", Kind::wrongType, ""},
        {R"({"version":"1",)", Kind::invalidJSON, ""},
        {"", Kind::invalidJSON, ""},
        {"[1,2]", Kind::notAnObject, "The data couldn’t be read because it isn’t a JSON object."},
    };
    for (const auto& [json, kind, message] : cases) {
        SCOPED_TRACE(json.toStdString());
        try {
            decodeAppUpdate(json);
            ADD_FAILURE() << "decoded";
        } catch (const AppUpdateDecodeError& error) {
            EXPECT_EQ(error.kind(), kind);
            EXPECT_TRUE(message.empty() || error.what() == message) << error.what();
        }
    }
}

using Parts = std::vector<std::uint32_t>;

// One to four plain decimal numbers of 32 bits, in 32 characters at most;
// anything else (signs, spaces, suffixes, other bases or digits) is refused.
TEST(ParseVersion, TakesOneToFourNumbersIn32CharactersAtMost) {
    EXPECT_EQ(parseVersion("7"), Parts{7});
    EXPECT_EQ(parseVersion("1.2.3.4"), (Parts{1, 2, 3, 4}));
    EXPECT_EQ(parseVersion("0004294967295.4294967295.4294967"), (Parts{4294967295u, 4294967295u, 4294967u}));
    for (const char* refused :
         {"0004294967295.4294967295.42949672", "1.2.3.4.5", "1.4294967296", "", "1..2", ".1", "1.", "+2", "-1", " 1.2",
          "1.2\n", "1,2", "2.0-beta", "v2.0", "0x10", "1e3", "\xEF\xBC\x92.0"})
        EXPECT_EQ(parseVersion(refused), std::nullopt) << '"' << refused << '"';
}

TEST(IsNewerVersion, ComparesNumericComponents) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        // candidate, current, newer
        // trailing zeros make no difference, in either direction
        {"1.2.0", "1.2", false},
        {"1.2", "1.2.0", false},
        {"1.2.0.1", "1.2", true},
        // numbers, not text; leading zeros are only zeros
        {"1.10", "1.9", true},
        {"1.010", "1.9", true},
        {"01.2", "1.2", false},
        {"0.0.1", "0.0.0", true},
        {"4294967295", "4294967294.9", true},
        // what is not a version number is never newer, nor is anything newer than it
        {"4294967296", "1", false},
        {"2.0-beta", "1.9", false},
        {"2", "beta", false},
    };
    for (const auto& [candidate, current, newer] : cases)
        EXPECT_EQ(isNewerVersion(candidate, current), newer) << '"' << candidate << "\" vs \"" << current << '"';
}

// ---- the service ----------------------------------------------------------------

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

// Packed by the system's gzip.
QByteArray gzipped(const QByteArray& data) {
    QProcess gzip;
    gzip.start("gzip", {"-c"});
    gzip.write(data);
    gzip.closeWriteChannel();
    EXPECT_TRUE(gzip.waitForFinished());
    return gzip.readAllStandardOutput();
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
    // The answer, the refusal's text (empty: only its kind is checked) and kind.
    const std::tuple<CannedResponse, std::string, std::optional<Kind>> rows[] = {
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
    for (const auto& [response, what, kind] : rows) {
        SCOPED_TRACE(response.status);
        const qsizetype before = server.requests().size();
        server.respondWith(response);
        const Failure failure = fetchFailure(service);
        EXPECT_TRUE(what.empty() || failure.first == what) << failure.first;
        EXPECT_EQ(failure.second, kind);
        EXPECT_EQ(server.requests().size(), before + 1) << "one request, no redirect followed over HTTP";
    }
    // Only the limit plus what the socket buffers held on the way ever left the server.
    EXPECT_LT(server.oversizedBytesSent(), qint64(64) << 20);
}

// ---- the view model ----------------------------------------------------------------

// The checks as the window makes them are tested through the window; here
// what it cannot see. Every test keeps its settings in its own file, never in the user's.
class UpdateViewModelTest : public ::testing::Test {
protected:
    void SetUp() override { setSettingsStoreFile(QString::fromStdString((dir / "settings.ini").string())); }

    std::unique_ptr<UpdateViewModel> makeModel() {
        return std::make_unique<UpdateViewModel>(settings, std::make_unique<UpdateCheckerService>(server.url()));
    }

    test::TempDir dir;
    SettingsStore settings;
    test::TestHttpServer server;
};

// Only a web address is handed to the desktop.
TEST_F(UpdateViewModelTest, DownloadOpensOnlyAParsableWebAddress) {
    QStringList opened;
    const std::pair<QString, bool> cases[] = {
        {"https://www.twinfold.example/get/T-2.tar.gz", true},
        {"http://www.twinfold.example/download", true},
        {"https://www.twinfold.example/T 2.tar.gz", false},
        {"", false},
        {"download/latest", false},
        {"file:///usr/bin/xterm", false},
        {"https://", false},
    };
    for (const auto& [downloadURL, opens] : cases) {
        SCOPED_TRACE(downloadURL.toStdString());
        server.respondWith(test::publishedVersion(kNewer, "Notes", downloadURL));
        auto model = makeModel();
        model->setUrlOpener([&](const QUrl& url) { opened.append(url.toString()); });
        ASSERT_TRUE(test::finished(model->runUpdateCheck(true)).isFinished());
        model->downloadUpdate();
        EXPECT_EQ(opened, opens ? QStringList{downloadURL} : QStringList{});
        opened.clear();
        EXPECT_TRUE(model->shouldShowBanner());  // downloading does not dismiss the banner
    }
}

}  // namespace
}  // namespace twinfold
