// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/LateDnsRelay.h"

#include <QNetworkDatagram>
#include <QTimer>

using namespace Qt::StringLiterals;

LateDnsRelay::LateDnsRelay(const QString& upstream, QObject* parent)
    : QObject(parent)
    , m_upstreamAddress(upstream.section(u':', 0, 0))
    , m_upstreamPort(upstream.section(u':', 1).toUShort())
{
    m_clients.bind(QHostAddress::LocalHost, 0);
    m_upstream.bind(QHostAddress::LocalHost, 0);
    connect(&m_clients, &QUdpSocket::readyRead, this, &LateDnsRelay::passQueriesOn);
    connect(&m_upstream, &QUdpSocket::readyRead, this, &LateDnsRelay::passAnswersBack);
}

QString LateDnsRelay::serverAddress() const
{
    return u"127.0.0.1:"_s + QString::number(m_clients.localPort());
}

void LateDnsRelay::passQueriesOn()
{
    while (m_clients.hasPendingDatagrams()) {
        const QNetworkDatagram query = m_clients.receiveDatagram();
        if (query.data().size() < 2) {
            continue;
        }
        m_askers.insert(query.data().first(2), {query.senderAddress(), quint16(query.senderPort())});
        m_upstream.writeDatagram(query.data(), m_upstreamAddress, m_upstreamPort);
    }
}

void LateDnsRelay::passAnswersBack()
{
    while (m_upstream.hasPendingDatagrams()) {
        const QByteArray answer = m_upstream.receiveDatagram().data();
        const auto asker = m_askers.constFind(answer.first(std::min<qsizetype>(2, answer.size())));
        if (asker == m_askers.cend()) {
            continue;
        }
        QTimer::singleShot(m_delay, this, [this, answer, client = *asker] {
            m_clients.writeDatagram(answer, client.address, client.port);
        });
    }
}
