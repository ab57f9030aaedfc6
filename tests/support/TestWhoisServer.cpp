// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestWhoisServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

TestWhoisServer::TestWhoisServer()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        qFatal("TestWhoisServer: cannot listen on 127.0.0.1: %s", qPrintable(m_server.errorString()));
    }
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            ++m_connections;
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            // One query line per connection; whatever follows it is not read. A line
            // not ended by CR LF loses its last character, so that it shows.
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    return;
                }
                socket->disconnect(this);
                const QString query = QString::fromLatin1(socket->readLine().chopped(2));
                m_queries.append(query);
                Q_EMIT queryReceived(query);
                const Reply reply = m_replies.value(query, m_defaultReply);
                // Precise timers fire in the order of their times, ties in the order set.
                auto at = reply.delay;
                for (const QByteArray& piece : reply.pieces) {
                    QTimer::singleShot(at, Qt::PreciseTimer, socket, [socket, piece] { socket->write(piece); });
                    at += reply.gap;
                }
                if (reply.end == Reply::End::Reset) {
                    // A zero linger time makes the close send a reset instead of a FIN.
                    const linger abortive{1, 0};
                    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
                }
                if (reply.end != Reply::End::KeepOpen) {
                    QTimer::singleShot(at, Qt::PreciseTimer, socket, [socket] { socket->disconnectFromHost(); });
                }
            });
        }
    });
}
