#pragma once

#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

namespace twinfold::test {

// What the server does with the next request.
struct CannedResponse {
    enum class Behaviour {
        answer,     // status, headers and body at once
        hold,       // keep the connection open without a word until answerHeld()
        oversized,  // a 200 declaring `oversizedLength` bytes, streamed until the client hangs up
    };
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    Behaviour behaviour = Behaviour::answer;
    qint64 oversizedLength = 0;
};

struct ReceivedRequest {
    QByteArray method;
    QByteArray path;
    QList<QByteArray> headerNames;  // lower-case
};

inline const QString kDownloadURL = QStringLiteral("https://www.twinfold.example/get");

// The update server's answer publishing `version`.
CannedResponse publishedVersion(const QString& version, const QString& notes = QStringLiteral("Notes"),
                                const QString& downloadURL = kDownloadURL);
// A version newer than this build: one more component is always newer.
QString newerVersion(int step = 1);

// A minimal HTTP/1.1 server on 127.0.0.1 that answers every request with the
// current canned response and closes the connection.
class TestHttpServer : public QObject {
    Q_OBJECT
public:
    TestHttpServer();
    ~TestHttpServer() override;

    QUrl url(const QString& path = QStringLiteral("/public/version.json")) const;
    void respondWith(CannedResponse response) { response_ = std::move(response); }

    const QList<ReceivedRequest>& requests() const { return requests_; }
    qsizetype heldCount() const { return held_.size(); }
    // Answers the oldest held request.
    void answerHeld(const CannedResponse& response);
    // Body bytes handed to the socket by oversized responses so far.
    qint64 oversizedBytesSent() const { return oversizedBytesSent_; }

    // A port on 127.0.0.1 where nothing listens.
    static quint16 closedPort();

private:
    void accept();
    void readRequest(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const CannedResponse& response);
    void streamOversized(QTcpSocket* socket, qint64 length);

    QTcpServer listener_;
    CannedResponse response_;
    QList<ReceivedRequest> requests_;
    QList<QTcpSocket*> held_;
    qint64 oversizedBytesSent_ = 0;
};

}  // namespace twinfold::test
