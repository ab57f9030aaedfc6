// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/// A dnsmasq process on 127.0.0.1 that serves the given records for the lifetime
/// of the object and nothing else: no upstream servers, no hosts file, and every
/// name under in-addr.arpa without a record is answered "no such name".
class DnsmasqServer final
{
public:
    /// Starts dnsmasq on a free UDP port with `records`, configuration lines such
    /// as "ptr-record=5.2.0.192.in-addr.arpa,mx.example.test", and waits until it
    /// answers queries.
    explicit DnsmasqServer(const QStringList& records);
    ~DnsmasqServer();
    Q_DISABLE_COPY_MOVE(DnsmasqServer)

    /// Empty text when the server answers, else why it does not.
    QString errorString() const { return m_error; }

    /// The server in c-ares' "host:port" form.
    QString serverAddress() const;

    /// Picks a UDP port on 127.0.0.1 that nothing is bound to at the moment.
    static quint16 freeUdpPort();

private:
    bool startOn(quint16 port, const QStringList& records);
    void stop();

    QTemporaryDir m_directory;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
