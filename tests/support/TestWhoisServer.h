// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QStringList>
#include <QTcpServer>

#include <chrono>

/// A whois server on 127.0.0.1 that answers each query line from a table. It
/// records the queries it received and counts the connections.
class TestWhoisServer final : public QObject
{
    Q_OBJECT

public:
    /// How the server answers one query.
    struct Reply
    {
        using ms = std::chrono::milliseconds;
        enum class End
        {
            Close,
            KeepOpen,
            Reset
        };

        /// Written in order, `gap` apart, the first one `delay` after the query.
        QByteArrayList pieces;
        ms delay{0};
        ms gap{0};
        /// What follows the last piece, `gap` later: a close as whois servers
        /// do it, nothing, or a reset.
        End end = End::Close;

        static Reply text(const QString& text) { return {{text.toUtf8()}}; }
        static Reply split(const QByteArrayList& pieces, ms gap) { return {pieces, {}, gap}; }
        static Reply late(const QString& text, ms delay) { return {{text.toUtf8()}, delay}; }
        static Reply silence() { return {{}, {}, {}, End::KeepOpen}; }
        static Reply resetAfter(const QByteArray& bytes, ms gap) { return {{bytes}, {}, gap, End::Reset}; }
    };

    /// Listens on a port the system chooses.
    TestWhoisServer();

    /// The reply to a query line (without its CR LF).
    void setReply(const QString& query, const Reply& reply) { m_replies.insert(query, reply); }
    /// The reply to queries without one of their own; an empty answer at first.
    void setDefaultReply(const Reply& reply) { m_defaultReply = reply; }
    /// Stops listening, so that connections are refused.
    void refuseConnections() { m_server.close(); }

    /// "HOST=127.0.0.1:PORT", an entry of a whois server map.
    QString mapEntry(const QString& host) const
    {
        return host + u"=127.0.0.1:" + QString::number(m_server.serverPort());
    }
    const QStringList& queries() const { return m_queries; }
    int connectionCount() const { return m_connections; }

Q_SIGNALS:
    void queryReceived(const QString& query);

private:
    QTcpServer m_server;
    QHash<QString, Reply> m_replies;
    Reply m_defaultReply;
    QStringList m_queries;
    int m_connections = 0;
};
