// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/FolderName.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace foldername {

namespace {

const QString Inbox = u"INBOX"_s;

bool isInboxLevel(const QString& level)
{
    return level.compare(Inbox, Qt::CaseInsensitive) == 0;
}

} // namespace

QStringList levels(Rules rules, const QString& name)
{
    if (rules == Rules::Imap) {
        QStringList result = name.split(u'/', Qt::SkipEmptyParts);
        if (!result.isEmpty() && isInboxLevel(result.front())) {
            result.front() = Inbox;
        }
        return result;
    }
    // Maildir++ writes every level boundary as '.': "A/B", "A.B" and ".A.B" are
    // the directory ".A.B"; "..", "/" and the empty name leave only the top.
    static const QRegularExpression boundaries(u"[/.]"_s);
    const QStringList result = name.split(boundaries, Qt::SkipEmptyParts);
    if (result.isEmpty() || (result.size() == 1 && isInboxLevel(result.front()))) {
        return {Inbox};
    }
    return result;
}

bool isInbox(Rules rules, const QString& name)
{
    return levels(rules, name) == QStringList{Inbox};
}

QString shownName(Rules rules, const QString& name)
{
    return isInbox(rules, name) ? u"Inbox"_s : levels(rules, name).join(u'/');
}

bool sameFolder(Rules rules, const QString& a, const QString& b)
{
    return levels(rules, a) == levels(rules, b);
}

bool isInside(Rules rules, const QString& inner, const QString& outer)
{
    const QStringList in = levels(rules, inner);
    const QStringList out = levels(rules, outer);
    return !out.isEmpty() && in.size() > out.size() && in.mid(0, out.size()) == out;
}

QString maildirDirectory(const QString& root, const QString& name)
{
    if (isInbox(Rules::Maildir, name)) {
        return root;
    }
    return root + u"/."_s + levels(Rules::Maildir, name).join(u'.');
}

} // namespace foldername
