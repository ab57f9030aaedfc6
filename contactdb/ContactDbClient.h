// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactdb/ContactDbResult.h"

#include <QHash>
#include <QObject>

#include <chrono>

class QSocketNotifier;
class QTimer;
struct ares_channeldata;

/// The settings of a ContactDbClient (ContactDbClient::Options), outside the
/// class so that it can serve as a default argument.
struct ContactDbClientOptions
{
    /// The zone that answers a TXT query for the reversed relay address with the
    /// network's abuse addresses; empty asks nothing.
    QString zone = {};
    /// c-ares' "host:port,..." form; empty text asks the servers of /etc/resolv.conf.
    QString dnsServers = {};
    /// Per relay address, from the moment it is asked.
    std::chrono::milliseconds limit{5000};
};

/// Asks a published abuse-contact database over DNS for the abuse addresses of
/// relay addresses, on the caller's event loop: c-ares with its sockets
/// watched by the loop, so that a silent server freezes nothing.
class ContactDbClient final : public QObject
{
    Q_OBJECT

public:
    using Options = ContactDbClientOptions;

    explicit ContactDbClient(Options options, QObject* parent = nullptr);
    ~ContactDbClient() override;
    Q_DISABLE_COPY_MOVE(ContactDbClient)

    /// Starts the lookup of one relay text. Its result always comes later, from
    /// the event loop, with `finished(ticket, result)`, also when nothing is
    /// asked (not an IPv4 or IPv6 address) and when the time limit ends it.
    quint64 lookup(const QString& relay);
    /// Drops every lookup under way; their results never come.
    void cancelAll();

Q_SIGNALS:
    void finished(quint64 ticket, const ContactDbResult& result);

private:
    struct Query;

    static void onSocketState(void* data, int socket, int readable, int writable);
    static void onAnswer(void* arg, int status, int timeouts, unsigned char* answer, int length);
    void watchSocket(int socket, bool readable, bool writable);
    void process(int readable, int writable);
    void armTimeout();
    void finishLater(quint64 ticket, ContactDbResult result);

    Options m_options;
    ares_channeldata* m_channel = nullptr;
    bool m_libraryStarted = false;
    /// Why no channel could be opened, when none was.
    QString m_startError;
    quint64 m_lastTicket = 0;
    /// The lookups under way, each with its time limit.
    QHash<quint64, QTimer*> m_pending;
    /// Results waiting for their turn in the event loop.
    QHash<quint64, ContactDbResult> m_ready;
    QHash<int, QSocketNotifier*> m_readers;
    QHash<int, QSocketNotifier*> m_writers;
    QTimer* m_aresTimer = nullptr;
};
