// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/DnsmasqServer.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QUdpSocket>

#include <unistd.h>

using namespace Qt::StringLiterals;

DnsmasqServer::DnsmasqServer(const QStringList& records, const std::function<bool(const QString&)>& answers)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // The port is free when picked but may be taken before dnsmasq binds it (or
    // its TCP twin may be busy): then dnsmasq stops and another port is tried.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_address = unusedAddress();
        // No configuration file, no pid file, in the foreground.
        QStringList arguments = u"-k -C /dev/null --pid-file= --no-resolv --no-hosts --bind-interfaces "
                                u"--listen-address=127.0.0.1 --local=/in-addr.arpa/ --local=/ip6.arpa/"_s.split(u' ');
        arguments.append(u"--port="_s + m_address.section(u':', 1));
        for (const QString& record : records) {
            arguments.append(u"--"_s + record);
        }
        // As root dnsmasq would switch to "nobody", which a sandbox may not allow.
        if (::geteuid() == 0) {
            arguments.append(u"--user=root"_s);
        }
        m_process.start(u"/usr/sbin/dnsmasq"_s, arguments);
        for (const QDeadlineTimer deadline(5000); m_process.state() != QProcess::NotRunning;) {
            if (answers(m_address)) {
                m_error.clear();
                return;
            }
            if (deadline.hasExpired()) {
                m_process.kill();
            }
            m_process.waitForFinished(20);
        }
        m_error = u"dnsmasq does not answer on %1 (scripts/install-deps.sh --with-tests installs it): %2 %3"_s.arg(
            m_address, m_process.errorString(), QString::fromLocal8Bit(m_process.readAll()).trimmed());
    }
}

DnsmasqServer::~DnsmasqServer()
{
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool DnsmasqServer::answersQueries(const QString& address)
{
    // One query, id 0x5a5a, recursion desired, for the PTR record of 127.0.0.1.
    const QByteArray query = QByteArray::fromHex("5a5a01000001000000000000"
                                                 "013101300130033132370769"
                                                 "6e2d616464720461727061000"
                                                 "00c0001");
    QUdpSocket socket;
    const QHostAddress host(address.section(u':', 0, 0));
    const auto port = static_cast<quint16>(address.section(u':', 1).toUInt());
    if (socket.writeDatagram(query, host, port) != query.size()) {
        return false;
    }
    return socket.waitForReadyRead(200) && socket.hasPendingDatagrams();
}

QString DnsmasqServer::unusedAddress()
{
    QUdpSocket socket;
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return u"127.0.0.1:"_s + QString::number(socket.localPort());
}
