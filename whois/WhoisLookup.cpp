// SPDX-License-Identifier: GPL-3.0-or-later
#include "whois/WhoisLookup.h"

#include "common/Blanks.h"

#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace {

// The Windows Sockets number that stands for a socket error in the status line:
// the numbers users and older documentation know.
int WinsockErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::NetworkError:
        return 10050;
    case QAbstractSocket::TemporaryError:
        return 10035;
    default:
        return 10000;
    }
}

} // namespace

WhoisLookup::WhoisLookup(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    timerSocket.setSingleShot(true);
    // A coarse timer may fire up to 5% early, which would cut answers short.
    timerSocket.setTimerType(Qt::PreciseTimer);
    connect(&timerSocket, &QTimer::timeout, this, &WhoisLookup::onTimer);

    const auto& table = RegistryTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        RegistrySocket& entry = m_sockets[i];
        entry.registry = &table[i];
        entry.socket = new QTcpSocket(this);
        connect(entry.socket, &QTcpSocket::connected, this, [this, &entry] { onConnected(entry); });
        connect(entry.socket, &QTcpSocket::readyRead, this, [this, &entry] { onReadyRead(entry); });
        connect(entry.socket, &QTcpSocket::errorOccurred, this,
                [this, &entry](QAbstractSocket::SocketError error) { onErrorOccurred(entry, error); });
    }
}

WhoisLookup::~WhoisLookup()
{
    // The sockets are children of this object; make sure none of them reports
    // into a half-destroyed lookup.
    for (RegistrySocket& entry : m_sockets) {
        entry.socket->disconnect(this);
        entry.socket->abort();
    }
}

WhoisLookup::RegistrySocket* WhoisLookup::socketOf(RegistryId registry)
{
    for (RegistrySocket& entry : m_sockets) {
        if (entry.registry->id == registry) {
            return &entry;
        }
    }
    return nullptr;
}

bool WhoisLookup::QueryRegistry(RegistryId registry, const QString& query)
{
    strChunk.clear();
    strAnswer.clear();
    m_answerBytes = 0;
    m_currentError.clear();
    Q_EMIT trackingChanged(QString());
    Q_EMIT statusChanged(QString());
    Q_EMIT busyChanged(true);
    timerSocket.start(m_options.window);

    RegistrySocket* entry = socketOf(registry);
    m_current = entry;
    if (entry == nullptr) {
        m_currentError = u"the registry %1 is not supported"_s.arg(registry);
        Q_EMIT trackingChanged(u"Lookup not supported - "_s + QString::number(registry));
        return false;
    }
    // Closing drops whatever the registry's previous connection still holds,
    // held-back bytes of its decoder included.
    entry->decoder.reset();
    entry->socket->abort();
    entry->query = query;
    const WhoisEndpoint endpoint = m_options.servers.endpointFor(WhoisServerHost(*entry->registry), WhoisPort);
    entry->socket->connectToHost(endpoint.host, endpoint.port);
    return true;
}

void WhoisLookup::onConnected(RegistrySocket& entry)
{
    const QStringView trimmed = trimBlanks(entry.query);
    if (trimmed.isEmpty()) {
        Q_EMIT statusChanged(u" No domain name was entered."_s);
        return;
    }
    entry.socket->write(trimmed.toLatin1() + "\r\n");
}

void WhoisLookup::onReadyRead(RegistrySocket& entry)
{
    try {
        const QByteArray bytes = entry.socket->readAll();
        // Only the lookup started last owns the answer buffer: late data of an
        // earlier lookup at another registry would corrupt it. It is announced
        // all the same, so the status line shows what the network is doing.
        if (&entry == m_current && m_answerBytes < MaxAnswerBytes) {
            const QByteArray kept = bytes.first(std::min(bytes.size(), MaxAnswerBytes - m_answerBytes));
            m_answerBytes += kept.size();
            strChunk = entry.decoder.decode(kept);
            strAnswer += strChunk;
        }
        Q_EMIT statusChanged(u"Receiving %1 bytes %2 response"_s.arg(bytes.size()).arg(entry.registry->RegistryName));
    } catch (const std::exception& error) {
        Q_EMIT statusChanged(u"Something bad happened "_s + QString::fromLocal8Bit(error.what()));
    }
}

// The decoder holds back a trailing byte that could begin a UTF-8 sequence; once
// no more bytes can follow, it belongs to the answer as a Latin-1 character.
// No bytes arrived, so nothing is announced.
void WhoisLookup::flushDecoder(RegistrySocket& entry)
{
    const QString rest = entry.decoder.flush();
    if (&entry == m_current) {
        strAnswer += rest;
    }
}

void WhoisLookup::onErrorOccurred(RegistrySocket& entry, QAbstractSocket::SocketError error)
{
    // A whois server ends every answer by closing the connection; that is not an error.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        if (entry.socket->bytesAvailable() > 0) {
            onReadyRead(entry);
        }
        flushDecoder(entry);
        if (&entry == m_current && m_answerBytes == 0) {
            m_currentError = u"closed the connection without answering"_s;
        }
        return;
    }
    if (&entry == m_current && m_answerBytes == 0) {
        m_currentError = entry.socket->errorString();
    }
    Q_EMIT statusChanged(entry.registry->errorPrefix + QString::number(WinsockErrorNumber(error)) + u" - " +
                         entry.socket->errorString());
}

void WhoisLookup::cancel()
{
    if (!timerSocket.isActive()) {
        return;
    }
    timerSocket.stop();
    if (m_current != nullptr) {
        m_current->decoder.reset();
        m_current->socket->abort();
    }
    m_current = nullptr;
    Q_EMIT busyChanged(false);
}

void WhoisLookup::onTimer()
{
    timerSocket.stop();
    if (m_current != nullptr) {
        flushDecoder(*m_current);
    }
    if (m_answerBytes > 0) {
        m_lastFailure.clear();
    } else {
        m_lastFailure =
            m_currentError.isEmpty() ? u"sent nothing within %1 ms"_s.arg(m_options.window.count()) : m_currentError;
    }
    Q_EMIT busyChanged(false);
    Q_EMIT statusChanged(u"Received answer"_s);
    Q_EMIT trackingChanged(strAnswer);
    Q_EMIT answerComplete(strAnswer);
}
