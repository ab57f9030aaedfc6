// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QStringList>

#include <functional>

/// A dnsmasq process on 127.0.0.1 that serves the given records for the lifetime
/// of the object and nothing else: no upstream servers, no hosts file, and every
/// name under in-addr.arpa or ip6.arpa without a record is answered "no such name".
class DnsmasqServer final
{
public:
    /// Starts dnsmasq on a free UDP port with `records`, options such as
    /// "ptr-record=5.2.0.192.in-addr.arpa,mx.example.test", and waits until
    /// `answers(serverAddress())` holds; by default, until it answers a query.
    explicit DnsmasqServer(const QStringList& records,
                           const std::function<bool(const QString&)>& answers = answersQueries);
    ~DnsmasqServer();
    Q_DISABLE_COPY_MOVE(DnsmasqServer)

    /// Empty text when the server answers, else why it does not.
    QString errorString() const { return m_error; }

    /// The server in c-ares' "host:port" form.
    QString serverAddress() const { return m_address; }

    /// Whether a DNS server at `address` ("host:port") answers a query at all,
    /// whatever the answer says.
    static bool answersQueries(const QString& address);

    /// An address in that form with a UDP port that nothing is bound to at the moment.
    static QString unusedAddress();

private:
    QProcess m_process;
    QString m_address;
    QString m_error;
};
