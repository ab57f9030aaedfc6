// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/MessageKey.h"

#include "common/LineEnds.h"
#include "header/HeaderField.h"

#include <QCryptographicHash>

namespace {

bool isBlankOrLineEnd(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

QStringView trimFoldingBlanks(QStringView text)
{
    while (!text.isEmpty() && (text.front() == u' ' || text.front() == u'\t')) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.chop(1);
    }
    return text;
}

} // namespace

MessageKey messageKeyOf(const QString& header)
{
    QString block = toCrLf(header);

    const QString field = UnfoldedFieldValue(block, u"Message-ID");
    QStringView id = trimFoldingBlanks(field);
    if (id.size() >= 2 && id.front() == u'<' && id.back() == u'>') {
        id = trimFoldingBlanks(id.sliced(1, id.size() - 2));
    }

    // Blank lines and blanks at the end come and go with copying and pasting;
    // they must not make the same header a different message.
    qsizetype end = block.size();
    while (end > 0 && isBlankOrLineEnd(block[end - 1])) {
        --end;
    }
    block.truncate(end);

    MessageKey key;
    key.messageId = id.toString();
    key.headerHash = QString::fromLatin1(QCryptographicHash::hash(block.toUtf8(), QCryptographicHash::Sha256).toHex());
    return key;
}
