// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <utility>

/// What kind of failure a mail operation met; callers branch on this, people
/// read the description.
enum class MailFailure
{
    None,
    Settings,          ///< the settings file or the account is unusable
    Connect,           ///< the server could not be reached
    Timeout,           ///< the server fell silent for longer than the network timeout
    Certificate,       ///< the server's certificate is not trusted or names another host
    Tls,               ///< TLS could not be set up (or STARTTLS is missing while required)
    Login,             ///< the server refused the user name or the password
    Refused,           ///< the server refused a command (a recipient, the message, a folder)
    MessageGone,       ///< the message is no longer in its folder
    NoRecipients,      ///< no one to send to: nothing was sent
    RecipientsRefused, ///< every recipient was refused (or is no address): nothing was sent
    /// The server refused for now (a 4xx reply to every recipient, to DATA or
    /// after the message): nothing was sent; the same message may go later.
    TemporarilyRefused,
    /// The server refused the message itself (a 5xx reply to DATA or after the
    /// message's final dot): nothing was sent, and sending it again will not help.
    ContentRefused,
    Other,
};

/// A failure with a description a person understands: what failed and where.
/// Never holds a password.
struct MailError
{
    MailFailure kind = MailFailure::None;
    QString description;

    bool ok() const { return kind == MailFailure::None; }
    explicit operator bool() const { return !ok(); }
};

/// A value or the error that prevented it.
template <typename T>
class MailResult
{
public:
    MailResult(T value)
        : m_value(std::move(value))
    {}
    MailResult(MailError error)
        : m_error(std::move(error))
    {}

    bool ok() const { return m_error.ok(); }
    const T& value() const { return *m_value; }
    T& value() { return *m_value; }
    const MailError& error() const { return m_error; }

private:
    std::optional<T> m_value;
    MailError m_error;
};

/// The failure's kind in a few words ("could not connect"), for logs and tests.
QString mailFailureName(MailFailure kind);
