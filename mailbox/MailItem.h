// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

/// One message of the store as the workbench sees a mail item.
struct MailItem
{
    /// Every message of the store is an e-mail (the mail client's olMail).
    static constexpr int MailClass = 43;

    int Class = MailClass;
    QString Subject;  ///< decoded (RFC 2047), unfolded
    QString EntryID;  ///< IMAP "UIDVALIDITY/UID", Maildir the file's unique name
    QString HTMLBody; ///< the first text/html part that is not an attachment, decoded
    QString Body;     ///< the first text/plain part that is not an attachment, decoded
};

/// Fills Subject, HTMLBody and Body from a raw message (RFC 5322 with MIME).
/// Transfer encodings and charsets are decoded; a part in an unknown charset is
/// taken as UTF-8, or Latin-1 where it is not valid UTF-8.
MailItem parseMailItem(QByteArrayView raw, const QString& entryId = QString());
