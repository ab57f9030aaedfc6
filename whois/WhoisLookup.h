// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/TextCodec.h"
#include "whois/RegistryTable.h"
#include "whois/WhoisServerMap.h"

#include <QAbstractSocket>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>

class QTcpSocket;

/// An answer keeps this many of its first bytes; later bytes are read and
/// dropped, so that no server can flood the memory or the tracking box.
inline constexpr qsizetype MaxAnswerBytes = 1024 * 1024;

/// One whois lookup at a time, on the Qt event loop.
///
/// Each registry has a socket of its own; all of them feed one answer buffer, and
/// one timer alone decides when a lookup ends: `window` after `QueryRegistry`,
/// whatever the server has or has not sent by then. The lookup then reports the
/// collected answer through `answerComplete`. Status and tracking texts are
/// reported as the window shows them.
class WhoisLookup final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        std::chrono::milliseconds window{1000};
        WhoisServerMap servers;
    };

    explicit WhoisLookup(Options options, QObject* parent = nullptr);
    ~WhoisLookup() override;
    Q_DISABLE_COPY_MOVE(WhoisLookup)

    /// Starts a lookup of `query` at a registry: empties the answer, the tracking
    /// and the status texts, shows the busy pointer, starts the window and
    /// (re)connects that registry's socket. Returns false for an id that names no
    /// registry; the window runs all the same and ends with an empty answer.
    bool QueryRegistry(RegistryId registry, const QString& query);

    const Options& options() const { return m_options; }

    /// Ends the current lookup without an answer: its window stops, its
    /// connection is dropped, and `answerComplete` does not come for it.
    void cancel();

    /// Why the last completed lookup failed ("connection refused", "sent
    /// nothing within 1000 ms"), or empty text when the server answered. A
    /// lookup that got at least one byte did not fail, even when the answer
    /// was cut short.
    const QString& lastFailure() const { return m_lastFailure; }

Q_SIGNALS:
    void statusChanged(const QString& text);
    void trackingChanged(const QString& text);
    void busyChanged(bool busy);
    /// The window of the current lookup has ended; `answer` is what arrived.
    void answerComplete(const QString& answer);

private:
    struct RegistrySocket
    {
        const WhoisRegistry* registry = nullptr;
        QTcpSocket* socket = nullptr;
        Utf8OrLatin1Decoder decoder;
        QString query;
    };

    void onConnected(RegistrySocket& entry);
    void onReadyRead(RegistrySocket& entry);
    void onErrorOccurred(RegistrySocket& entry, QAbstractSocket::SocketError error);
    void flushDecoder(RegistrySocket& entry);
    void onTimer();
    RegistrySocket* socketOf(RegistryId registry);

    Options m_options;
    std::array<RegistrySocket, 7> m_sockets;
    RegistrySocket* m_current = nullptr;
    QTimer timerSocket;
    QString strAnswer;
    QString strChunk;
    /// Bytes of the current lookup's answer taken so far, up to MaxAnswerBytes.
    qsizetype m_answerBytes = 0;
    /// The socket error of the current lookup, before any answer came.
    QString m_currentError;
    QString m_lastFailure;
};
