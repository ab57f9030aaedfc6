// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to the mail layer: what an IMAP folder and a Maildir folder have in
// common. The functions throw (MailException or vmime's exceptions); MailStore
// turns that into MailError.

#include "mailbox/MailError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <stdexcept>

/// An error of the layer's own, thrown inside it and caught by MailStore.
class MailException final : public std::runtime_error
{
public:
    explicit MailException(MailError error)
        : std::runtime_error("mail layer error")
        , m_error(std::move(error))
    {}
    const MailError& error() const { return m_error; }

private:
    MailError m_error;
};

class StoreBackend
{
public:
    virtual ~StoreBackend() = default;
    virtual void open() = 0;
    /// Opens the folder so that nothing done on it can change a message or
    /// its flags (IMAP: EXAMINE); only newestHeaders may follow.
    virtual void openReadOnly() = 0;
    virtual void close() = 0;
    virtual QString caption() const = 0;
    /// The EntryID of the oldest message that is not deleted.
    virtual std::optional<QString> oldest() = 0;
    virtual QByteArray raw(const QString& entryId) = 0;
    virtual void remove(const QString& entryId) = 0;
    virtual void move(const QString& entryId, const QString& folder) = 0;
    /// The raw header blocks of the newest `count` messages that are not
    /// deleted, newest (last arrived) first; no message is marked read.
    virtual QList<QByteArray> newestHeaders(qsizetype count) = 0;
};
