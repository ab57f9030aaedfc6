// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QUdpSocket>

#include <chrono>

/// A UDP DNS relay on 127.0.0.1 that passes each query on to a server at once
/// and holds its answer back for a while, for a server that answers late.
class LateDnsRelay final : public QObject
{
public:
    /// `upstream` in c-ares' "host:port" form.
    explicit LateDnsRelay(const QString& upstream, QObject* parent = nullptr);

    /// The relay in c-ares' "host:port" form.
    QString serverAddress() const;

    /// How long each answer is held back; none at first.
    void setDelay(std::chrono::milliseconds delay) { m_delay = delay; }

private:
    struct Client
    {
        QHostAddress address;
        quint16 port = 0;
    };

    void passQueriesOn();
    void passAnswersBack();

    QUdpSocket m_clients;
    QUdpSocket m_upstream;
    QHostAddress m_upstreamAddress;
    quint16 m_upstreamPort = 0;
    std::chrono::milliseconds m_delay{0};
    QHash<QByteArray, Client> m_askers; ///< by the query's id
};
