// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/DnsmasqServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QUdpSocket>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString DnsmasqBinary = u"/usr/sbin/dnsmasq"_s;
constexpr int StartAttempts = 5;
constexpr int StartTimeoutMs = 5000;

// Sends a PTR query for 0.in-addr.arpa and reports whether any answer comes back;
// the answer itself does not matter, only that the server reads its port.
bool answersQueries(quint16 port)
{
    // Header (id, recursion desired, one question), then 1 "0" 7 "in-addr" 4 "arpa" 0, type PTR, class IN.
    static const QByteArray query =
        QByteArray::fromHex("5a4c 0100 0001 0000 0000 0000 0130 07696e2d61646472 0461727061 00 000c 0001");
    QUdpSocket socket;
    if (socket.writeDatagram(query, QHostAddress(QHostAddress::LocalHost), port) != query.size()) {
        return false;
    }
    return socket.waitForReadyRead(100) && socket.hasPendingDatagrams();
}

} // namespace

DnsmasqServer::DnsmasqServer(const QStringList& records)
{
    if (!QFileInfo(DnsmasqBinary).isExecutable()) {
        m_error = DnsmasqBinary + u" is missing: install the test packages with scripts/install-deps.sh --with-tests"_s;
        return;
    }
    if (!m_directory.isValid()) {
        m_error = u"cannot create a temporary folder: "_s + m_directory.errorString();
        return;
    }
    // The port is free when picked but may be taken before dnsmasq binds it (or
    // its TCP twin may be busy): then try another one.
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        m_error.clear();
        if (startOn(freeUdpPort(), records)) {
            return;
        }
    }
}

DnsmasqServer::~DnsmasqServer()
{
    stop();
}

QString DnsmasqServer::serverAddress() const
{
    return u"127.0.0.1:"_s + QString::number(m_port);
}

quint16 DnsmasqServer::freeUdpPort()
{
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::LocalHost), 0)) {
        return 0;
    }
    return socket.localPort();
}

bool DnsmasqServer::startOn(quint16 port, const QStringList& records)
{
    if (port == 0) {
        m_error = u"no free UDP port on 127.0.0.1"_s;
        return false;
    }
    QStringList lines{u"port="_s + QString::number(port),
                      u"listen-address=127.0.0.1"_s,
                      u"bind-interfaces"_s,
                      u"no-resolv"_s,
                      u"no-hosts"_s,
                      u"local=/in-addr.arpa/"_s};
    // As root dnsmasq would switch to "nobody", which this sandbox may not allow.
    if (::geteuid() == 0) {
        lines.append(u"user=root"_s);
    }
    lines.append(records);
    const QString configPath = m_directory.filePath(u"dnsmasq.conf"_s);
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        config.write(lines.join(u'\n').toUtf8() + '\n') < 0) {
        m_error = u"cannot write "_s + configPath;
        return false;
    }
    config.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(DnsmasqBinary, {u"-k"_s, u"-C"_s, configPath, u"--pid-file="_s});
    if (!m_process.waitForStarted(StartTimeoutMs)) {
        m_error = u"cannot start dnsmasq: "_s + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning || m_process.waitForFinished(20)) {
            m_error = u"dnsmasq stopped on port %1: %2"_s.arg(port).arg(
                QString::fromLocal8Bit(m_process.readAll()).trimmed());
            return false;
        }
        if (answersQueries(port)) {
            m_port = port;
            return true;
        }
    }
    m_error = u"dnsmasq does not answer on port %1"_s.arg(port);
    stop();
    return false;
}

void DnsmasqServer::stop()
{
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
