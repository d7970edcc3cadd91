#include "TestHttpServer.h"

#include "updates/AppUpdate.h"
#include "updates/BuildInfo.h"

#include <QTcpSocket>

#include <memory>

namespace twinfold::test {

namespace {

// Clients act on the code alone; the reason phrase is a placeholder.
QByteArray head(int status, qint64 contentLength, const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: application/json\r\n" +
                      "Content-Length: " + QByteArray::number(contentLength) + "\r\nConnection: close\r\n";
    for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
    return text + "\r\n";
}

}  // namespace

CannedResponse publishedVersion(const QString& version, const QString& notes, const QString& downloadURL) {
    return {200, encodeAppUpdate({version, 1, downloadURL, notes, QStringLiteral("2024-05-01")})};
}

QString newerVersion(int step) { return buildVersionString() + "." + QString::number(step); }

TestHttpServer::TestHttpServer() {
    if (!listener_.listen(QHostAddress::LocalHost))
        throw std::runtime_error("test HTTP server cannot listen: " + listener_.errorString().toStdString());
    connect(&listener_, &QTcpServer::newConnection, this, &TestHttpServer::accept);
}

// The sockets outlive this object's members (they belong to the listener),
// so their handlers must go before the members they touch.
TestHttpServer::~TestHttpServer() {
    for (QTcpSocket* socket : listener_.findChildren<QTcpSocket*>())
        QObject::disconnect(socket, nullptr, this, nullptr);
}

QUrl TestHttpServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(listener_.serverPort()).arg(path));
}

// The port of a listener just closed.
quint16 TestHttpServer::closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

void TestHttpServer::accept() {
    while (QTcpSocket* socket = listener_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { held_.removeAll(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
    }
}

void TestHttpServer::readRequest(QTcpSocket* socket) {
    // Requests carry no body: the request ends at the first blank line.
    const QByteArray buffered = socket->peek(socket->bytesAvailable());
    const qsizetype end = buffered.indexOf("\r\n\r\n");
    if (end < 0) return;
    const QList<QByteArray> lines = socket->read(end).split('\n');
    socket->read(4);
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    ReceivedRequest& request = requests_.emplaceBack(requestLine.value(0), requestLine.value(1));
    for (qsizetype i = 1; i < lines.size(); ++i)
        request.headerNames.append(lines[i].left(lines[i].indexOf(':')).trimmed().toLower());

    if (response_.behaviour != CannedResponse::Behaviour::hold) return respond(socket, response_);
    held_.append(socket);
}

void TestHttpServer::answerHeld(const CannedResponse& response) {
    if (held_.isEmpty()) throw std::logic_error("no held request to answer");
    respond(held_.takeFirst(), response);
}

void TestHttpServer::respond(QTcpSocket* socket, const CannedResponse& response) {
    if (response.behaviour == CannedResponse::Behaviour::oversized)
        return streamOversized(socket, response.oversizedLength);
    socket->write(head(response.status, response.body.size(), response.headers) + response.body);
    socket->disconnectFromHost();
}

// Writes the next 64 KiB only when the previous block has left, so what the
// server reports as sent is what the client could have received.
void TestHttpServer::streamOversized(QTcpSocket* socket, qint64 length) {
    socket->write(head(200, length, {}));
    auto remaining = std::make_shared<qint64>(length);
    const QByteArray block(64 * 1024, ' ');
    auto writeNext = [this, socket, remaining, block] {
        if (*remaining <= 0 || socket->bytesToWrite() > 0) return;
        const qint64 size = std::min<qint64>(block.size(), *remaining);
        socket->write(block.constData(), size);
        *remaining -= size;
        oversizedBytesSent_ += size;
    };
    connect(socket, &QTcpSocket::bytesWritten, this, writeNext);
    writeNext();
}

}  // namespace twinfold::test
