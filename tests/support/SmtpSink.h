// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

/// An SMTP server on 127.0.0.1 (Debian's aiosmtpd under /usr/bin/python3)
/// that keeps every message it accepts, with its envelope, in files, and
/// refuses the recipients it is told to. STARTTLS is offered when certificate
/// files are given.
class SmtpSink final
{
public:
    /// One accepted message.
    struct Message
    {
        QString sender;
        QStringList recipients; ///< the envelope's accepted recipients
        QByteArray data;        ///< the message as it arrived, dot-stuffing undone
    };

    SmtpSink(const QStringList& refusedRecipients, const QString& certificateFile = QString(),
             const QString& keyFile = QString());
    ~SmtpSink();
    Q_DISABLE_COPY_MOVE(SmtpSink)

    /// Empty text when the server answers, else why it does not.
    QString errorString() const { return m_error; }
    quint16 port() const { return m_port; }

    /// The messages accepted so far, oldest first.
    QList<Message> messages() const;
    /// Forgets the messages accepted so far.
    void clear();

    enum class Behaviour
    {
        Accept,
        RefuseMessages, ///< every message is answered 554 after its data
        HangUpInData,   ///< the connection is closed while the message comes
        DeferMessages,  ///< every message is answered 451 after its data
        DeferData,      ///< DATA is answered 451
        RefuseData,     ///< DATA is answered 554
    };
    /// How the sink treats the messages from now on.
    void setBehaviour(Behaviour behaviour);
    /// Recipients answered 450 (refused for now) from now on, besides those
    /// refused for good at construction.
    void setDeferredRecipients(const QStringList& recipients);

private:
    QTemporaryDir m_directory;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

/// Decodes a quoted-printable body (RFC 2045): soft line breaks ("=" at the
/// end of a line) vanish, "=XX" becomes the byte, hard line breaks stay.
QByteArray decodeQuotedPrintable(QByteArrayView encoded);
