// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How each kind of store reads a folder name of the settings file ("/" between
// levels). The backends open exactly the folder these functions name, and the
// settings check uses the same rules, so a folder that opens the source folder
// under another spelling is known as such before any mail is touched.

#include <QString>
#include <QStringList>

namespace foldername {

enum class Rules
{
    /// RFC 3501: INBOX in any case is the user's Inbox (Dovecot also reads a first
    /// level "inbox" of a longer name as INBOX); every other name keeps its case.
    Imap,
    /// A Maildir++ tree: the top folder is the Inbox, "A/B" is the directory
    /// ".A.B" (so "A.B" is the same folder), names keep their case.
    Maildir,
};

/// The folder `name` opens, level by level: split on "/" (and "." in a
/// Maildir), empty levels dropped. The Inbox is {"INBOX"}. An empty list is no
/// folder at all (an IMAP name of slashes only).
QStringList levels(Rules rules, const QString& name);

/// Whether `name` opens the Inbox (a Maildir's top folder).
bool isInbox(Rules rules, const QString& name);

/// The folder as people see it: "Inbox", or the levels joined by "/".
QString shownName(Rules rules, const QString& name);

/// Whether the two names open the same folder.
bool sameFolder(Rules rules, const QString& a, const QString& b);

/// Whether `inner` names a folder below `outer` (at a level boundary: "Junk/Old"
/// is inside "Junk", "JunkOld" is not).
bool isInside(Rules rules, const QString& inner, const QString& outer);

/// The directory of the Maildir++ folder `name` below `root`: `root` itself for
/// the top folder, else "root/.A.B". Never outside `root`: no level holds "/"
/// or ".", and none is empty.
QString maildirDirectory(const QString& root, const QString& name);

} // namespace foldername
