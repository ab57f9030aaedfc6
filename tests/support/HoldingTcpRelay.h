// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

/// A TCP relay on 127.0.0.1 to a server on loopback. The first connections
/// are passed through; later ones are accepted and held, never answered,
/// until `passAll`: a server that stops answering at a chosen step of a
/// client's work.
class HoldingTcpRelay final : public QObject
{
public:
    HoldingTcpRelay(quint16 serverPort, int passing);
    ~HoldingTcpRelay() override;
    Q_DISABLE_COPY_MOVE(HoldingTcpRelay)

    quint16 port() const { return m_listener.serverPort(); }
    /// Connections accepted and held so far.
    int held() const { return m_held; }
    /// Passes every connection from now on.
    void passAll() { m_passing = -1; }

private:
    void accept();
    void pass(QTcpSocket* client);

    QTcpServer m_listener;
    quint16 m_serverPort;
    int m_passing;
    int m_held = 0;
};
