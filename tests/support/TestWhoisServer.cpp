// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestWhoisServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <sys/socket.h>

using namespace Qt::StringLiterals;
using std::chrono::milliseconds;

TestWhoisServer::TestWhoisServer(QObject* parent)
    : QObject(parent)
{
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        qFatal("TestWhoisServer: cannot listen on 127.0.0.1: %s", qPrintable(m_server.errorString()));
    }
    m_port = m_server.serverPort();
    connect(&m_server, &QTcpServer::newConnection, this, &TestWhoisServer::onNewConnection);
}

QString TestWhoisServer::mapEntry(const QString& host) const
{
    return u"%1=127.0.0.1:%2"_s.arg(host).arg(m_port);
}

void TestWhoisServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connections;
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // One query line per connection; whatever follows it is not read.
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
            received->append(socket->readAll());
            const qsizetype end = received->indexOf("\r\n");
            if (end < 0) {
                return;
            }
            const QString query = QString::fromLatin1(received->first(end));
            socket->disconnect(this);
            m_queries.append(query);
            Q_EMIT queryReceived(query);
            answer(socket, m_replies.value(query, m_defaultReply));
        });
    }
}

void TestWhoisServer::answer(QTcpSocket* socket, const Reply& reply)
{
    const bool close = reply.end == Reply::End::Close;
    milliseconds at = reply.delay;
    for (qsizetype i = 0; i < reply.pieces.size(); ++i) {
        const bool last = i + 1 == reply.pieces.size();
        QTimer::singleShot(at, socket, [socket, piece = reply.pieces[i], closeAfter = last && close] {
            socket->write(piece);
            if (closeAfter) {
                socket->disconnectFromHost();
            }
        });
        at += reply.gap;
    }
    if (close && reply.pieces.isEmpty()) {
        QTimer::singleShot(at, socket, [socket] { socket->disconnectFromHost(); });
    }
    if (reply.end == Reply::End::Reset) {
        QTimer::singleShot(at, socket, [socket] {
            // A zero linger time makes the close send a reset instead of a FIN.
            const linger abortive{1, 0};
            ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                         sizeof abortive);
            socket->abort();
        });
    }
}
