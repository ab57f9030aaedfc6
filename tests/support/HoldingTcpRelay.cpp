// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/HoldingTcpRelay.h"

#include <QTcpSocket>

HoldingTcpRelay::HoldingTcpRelay(quint16 serverPort, int passing)
    : m_serverPort(serverPort)
    , m_passing(passing)
{
    m_listener.listen(QHostAddress::LocalHost, 0);
    connect(&m_listener, &QTcpServer::newConnection, this, &HoldingTcpRelay::accept);
}

HoldingTcpRelay::~HoldingTcpRelay() = default;

void HoldingTcpRelay::accept()
{
    while (QTcpSocket* client = m_listener.nextPendingConnection()) {
        client->setParent(this);
        if (m_passing < 0 || m_passing > 0) {
            m_passing = m_passing > 0 ? m_passing - 1 : m_passing;
            pass(client);
            continue;
        }
        ++m_held;
        // Held: what the client sends is read and dropped, nothing comes back.
        connect(client, &QTcpSocket::readyRead, client, [client] { client->readAll(); });
    }
}

void HoldingTcpRelay::pass(QTcpSocket* client)
{
    auto* server = new QTcpSocket(client);
    connect(client, &QTcpSocket::readyRead, server, [client, server] { server->write(client->readAll()); });
    connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
    connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
    connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
    server->connectToHost(QHostAddress::LocalHost, m_serverPort);
}
