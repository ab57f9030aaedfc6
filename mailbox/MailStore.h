// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/MailError.h"
#include "mailbox/MailItem.h"
#include "mailbox/MailSettings.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class StoreBackend;

/// A session on the configured mail store (IMAP, IMAPS or a Maildir) and its
/// source folder: the mail client's application, name space and session of the
/// workbench's mail commands.
///
/// Every call blocks until the store has answered or the network timeout has
/// passed; run them on a worker thread. An object belongs to the thread that
/// uses it (one at a time); it needs no Qt event loop and touches no widget.
class MailStore final
{
public:
    /// `password` is the store's password (see lookupMailPassword); a Maildir needs none.
    explicit MailStore(MailSettings settings, std::optional<QString> password = std::nullopt);
    ~MailStore();
    Q_DISABLE_COPY_MOVE(MailStore)

    /// Opens the session and the source folder (ConnectOutlook). A second call
    /// replaces the first session.
    MailError open();

    /// Releases the session (DisconnectOutlook); nothing is expunged.
    void close();

    bool isOpen() const;

    /// The source folder's name as people see it, " - ", and the account:
    /// "Junk - alice@imap.example.org"; every spelling that opens the IMAP INBOX
    /// or a Maildir's top folder ("inbox", "/INBOX", "INBOX/") is "Inbox", other
    /// folders show the levels opened ("Spam/Old" for "/Spam//Old"). Empty while
    /// no session is open.
    QString caption() const;

    /// The oldest message of the source folder that is not deleted (IMAP: the
    /// lowest UID; Maildir: the earliest delivery time in the file's unique name,
    /// ties by name), with its texts: an empty list when the folder holds none.
    /// Reading never marks a message as read.
    MailResult<std::vector<MailItem>> selection();

    /// The header block of the message exactly as received (every header line
    /// and the empty line that ends the block), with CR LF line ends.
    MailResult<QString> GetMessage(const QString& entryId);

    /// The message's texts (Subject, bodies) by its EntryID.
    MailResult<MailItem> item(const QString& entryId);

    /// Removes the message from its folder: on IMAP flagged \Deleted and
    /// expunged alone (UID EXPUNGE) where the server has UIDPLUS, else with the
    /// whole folder's expunge; in a Maildir its file is removed.
    /// A message that is no longer there gives MailFailure::MessageGone.
    MailError Delete(const QString& entryId);

    /// Moves the message to `folder` of the same store ("/" between levels),
    /// creating the folder when it is missing. The source folder itself, under
    /// any spelling, is refused (MailFailure::Settings).
    MailError Move(const QString& entryId, const QString& folder);

    /// The header blocks (CR LF, each with the empty line that ends it) of the
    /// newest `count` messages of `folder` ("/" between levels; "INBOX" is the
    /// Inbox, on IMAP and in a Maildir) that are not deleted, newest first:
    /// IMAP by order of arrival, a Maildir by the delivery time of the file
    /// name (else the file's modification time). The folder is opened read
    /// only on a connection of this call's own (IMAP: EXAMINE, then
    /// BODY.PEEK[HEADER]; a Maildir's files are read, never renamed), so no
    /// message is marked read and no flag changes; the session of `open`,
    /// open or not, is not touched.
    MailResult<QStringList> newestHeaders(const QString& folder, qsizetype count);

    /// Where the store is, for messages: "the IMAP server 127.0.0.1:143".
    QString location() const;

private:
    MailSettings m_settings;
    std::optional<QString> m_password;
    std::unique_ptr<StoreBackend> m_backend;
    QString m_cachedId;
    QByteArray m_cachedRaw;

    MailResult<QByteArray> raw(const QString& entryId);
    MailError makeBackend(const QString& folder, std::unique_ptr<StoreBackend>& backend) const;
};
