// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayList>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

#include <chrono>

class QTcpSocket;

/// A whois server on 127.0.0.1 that answers each query line from a table, for
/// the lookups of a test. It records the queries it received and counts the
/// connections.
class TestWhoisServer final : public QObject
{
    Q_OBJECT

public:
    /// How the server answers one query.
    struct Reply
    {
        enum class End
        {
            Close,
            KeepOpen,
            Reset
        };

        /// Written in order, `gap` apart, the first one `delay` after the query.
        QByteArrayList pieces;
        std::chrono::milliseconds delay{0};
        std::chrono::milliseconds gap{0};
        /// After the last piece: close as whois servers do, keep the connection
        /// open, or reset it (`gap` later, so that the pieces are read first).
        End end = End::Close;

        static Reply text(const QString& text) { return {{text.toUtf8()}}; }
        static Reply split(const QByteArrayList& pieces, std::chrono::milliseconds gap) { return {pieces, {}, gap}; }
        static Reply late(const QString& text, std::chrono::milliseconds delay) { return {{text.toUtf8()}, delay}; }
        /// Sends nothing and keeps the connection open.
        static Reply silence() { return {{}, {}, {}, End::KeepOpen}; }
        /// Closes the connection without a byte.
        static Reply closeAtOnce() { return {}; }
        static Reply resetAfter(const QByteArray& bytes, std::chrono::milliseconds gap)
        {
            return {{bytes}, {}, gap, End::Reset};
        }
    };

    /// Listens on 127.0.0.1 on a port the system chooses.
    explicit TestWhoisServer(QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TestWhoisServer)

    /// The reply to a query line (without its CR LF).
    void setReply(const QString& query, const Reply& reply) { m_replies.insert(query, reply); }
    /// The reply to queries without one of their own; an empty answer at first.
    void setDefaultReply(const Reply& reply) { m_defaultReply = reply; }

    /// Stops listening, so that connections to the port are refused.
    void refuseConnections() { m_server.close(); }

    /// "HOST=127.0.0.1:PORT", an entry of a whois server map.
    QString mapEntry(const QString& host) const;

    /// The query lines received, in order.
    const QStringList& queries() const { return m_queries; }
    int connectionCount() const { return m_connections; }

Q_SIGNALS:
    void queryReceived(const QString& query);

private:
    void onNewConnection();
    void answer(QTcpSocket* socket, const Reply& reply);

    QTcpServer m_server;
    quint16 m_port = 0;
    QHash<QString, Reply> m_replies;
    Reply m_defaultReply;
    QStringList m_queries;
    int m_connections = 0;
};

Q_DECLARE_METATYPE(TestWhoisServer::Reply)
