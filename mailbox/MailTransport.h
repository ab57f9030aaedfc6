// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/MailError.h"
#include "mailbox/MailSettings.h"

#include <QString>
#include <QStringList>

#include <optional>

/// What became of a message that went out.
struct SendOutcome
{
    /// Recipients the server refused while it accepted others, each with the
    /// server's reply: "B@Y.ORG (550 5.1.1 no such user)".
    QStringList refused;
    /// Recipients the server refused for now (a 4xx reply) while it accepted
    /// others, in the same form.
    QStringList deferred;
};

/// The configured transport (SMTP, SMTPS or the local sendmail) for one
/// message at a time: the mail client's CreateItem and Send. It needs no store.
/// Blocking like MailStore; an object belongs to the thread that uses it.
class MailTransport final
{
public:
    /// `password` is the transport's password (see lookupMailPassword).
    explicit MailTransport(MailSettings settings, std::optional<QString> password = std::nullopt);

    /// Sends one message From the configured sender: `to` holds addresses
    /// separated by ";" (a trailing ";" is fine), `body` is the text (its line
    /// breaks go out as CR LF, quoted-printable, so long lines and lines that
    /// begin with a dot arrive intact). An empty `to` sends nothing and gives
    /// MailFailure::NoRecipients. Some recipients refused (by the server, or
    /// because they are no e-mail address): sent, and named in the outcome; all
    /// refused: MailFailure::RecipientsRefused.
    MailResult<SendOutcome> send(const QString& subject, const QString& to, const QString& body);

    /// Where messages go, for messages: "the SMTP server 127.0.0.1:25".
    QString location() const;

    /// The addresses of a ";"-separated list, blanks trimmed, empty entries dropped.
    static QStringList splitRecipients(const QString& to);

private:
    MailSettings m_settings;
    std::optional<QString> m_password;
};
