// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <sys/socket.h>

using namespace std::chrono_literals;

namespace {

// A request's head is its request line and header lines, ended by an empty line.
constexpr QByteArrayView EndOfHead = "\r\n\r\n";
// Beyond this the client is not sending HTTP; the connection is dropped.
constexpr qsizetype LargestHead = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status " + QByteArray::number(status);
    }
}

void resetConnection(QTcpSocket* socket)
{
    // A zero linger time makes the close send a reset instead of a FIN.
    const linger abortive{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    socket->disconnectFromHost();
}

void drip(QTcpSocket* socket, const QByteArray& answer)
{
    auto* timer = new QTimer(socket);
    auto sent = std::make_shared<qsizetype>(0);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, answer, sent] {
        if (*sent == answer.size()) {
            timer->stop();
            socket->disconnectFromHost();
            return;
        }
        socket->write(answer.mid((*sent)++, 1));
    });
    timer->start(100ms);
}

// Keeps about a mebibyte queued on the socket for as long as it is open.
void sendEndlessly(QTcpSocket* socket, const QByteArray& head, const QByteArray& body)
{
    socket->write(head);
    auto* timer = new QTimer(socket);
    const QByteArray block = body.isEmpty() ? QByteArray(64 * 1024, 'x') : body;
    QObject::connect(timer, &QTimer::timeout, socket, [socket, block] {
        // Once the client has closed the connection, writes fail and leave
        // nothing queued: stop there rather than spin.
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 1024 * 1024) {
            if (socket->write(block) <= 0) {
                return;
            }
        }
    });
    timer->start(1ms);
}

} // namespace

TestHttpServer::TestHttpServer()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        qFatal("TestHttpServer: cannot listen on 127.0.0.1: %s", qPrintable(m_server.errorString()));
    }
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            ++m_openConnections;
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] { closed(socket); });
            // The head stays in the socket's buffer until it is complete.
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                const QByteArray pending = socket->peek(socket->bytesAvailable());
                const qsizetype end = pending.indexOf(EndOfHead);
                if (end < 0) {
                    if (pending.size() > LargestHead) {
                        socket->abort();
                    }
                    return;
                }
                // One request per connection: whatever follows the head is not read.
                socket->disconnect(this);
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] { closed(socket); });
                serve(socket, socket->read(end + EndOfHead.size()));
            });
        }
    });
}

TestHttpServer::~TestHttpServer()
{
    // The sockets are children of the server and go with it; they must not
    // report to this object while it is half destroyed.
    const QList<QTcpSocket*> sockets = m_server.findChildren<QTcpSocket*>();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
    }
}

QUrl TestHttpServer::url(const QByteArray& target) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()) + QString::fromLatin1(target));
}

void TestHttpServer::closed(QTcpSocket* socket)
{
    --m_openConnections;
    socket->deleteLater();
    Q_EMIT connectionClosed();
}

void TestHttpServer::serve(QTcpSocket* socket, const QByteArray& head)
{
    const QList<QByteArray> lines = head.chopped(EndOfHead.size()).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    Request request{requestLine.value(0), requestLine.value(1), {}};
    for (qsizetype at = 1; at < lines.size(); ++at) {
        const qsizetype colon = lines[at].indexOf(':');
        if (colon > 0) {
            request.headers.insert(lines[at].left(colon).trimmed().toLower(), lines[at].mid(colon + 1).trimmed());
        }
    }
    m_requests.append(request);
    Q_EMIT requestReceived(request.target);

    const Response response = m_responses.value(request.target, m_defaultResponse);
    if (response.silent) {
        return;
    }
    QByteArray answerHead =
        "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers) {
        answerHead += name + ": " + value + "\r\n";
    }
    if (response.delivery == Response::Delivery::Endless) {
        answerHead += "Connection: close\r\n\r\n";
        QTimer::singleShot(response.delay, socket,
                           [socket, answerHead, body = response.body] { sendEndlessly(socket, answerHead, body); });
        return;
    }
    answerHead += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n";
    const QByteArray body = request.method == "HEAD" ? QByteArray() : response.body;
    QTimer::singleShot(response.delay, socket, [socket, answerHead, body, delivery = response.delivery] {
        switch (delivery) {
        case Response::Delivery::Drip:
            drip(socket, answerHead + body);
            return;
        case Response::Delivery::ResetInBody:
            socket->write(answerHead + body.first(body.size() / 2));
            socket->flush();
            resetConnection(socket);
            return;
        default:
            socket->write(answerHead + body);
            socket->disconnectFromHost();
            return;
        }
    });
}
