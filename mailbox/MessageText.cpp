// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MessageText.h"

#include "common/LineEnds.h"
#include "common/TextCodec.h"

using namespace Qt::StringLiterals;

namespace {

// An mbox separator line, not a header field: "From sender date".
QStringView withoutMboxSeparator(QStringView text)
{
    if (!text.startsWith(u"From ")) {
        return text;
    }
    const qsizetype end = text.indexOf(u"\r\n");
    return end < 0 ? QStringView() : text.sliced(end + 2);
}

} // namespace

MessageText SplitMessage(QByteArrayView raw)
{
    const QString all = toCrLf(decodeTextFile(raw));
    const QStringView text = withoutMboxSeparator(all);
    if (text.startsWith(u"\r\n")) {
        return {u"\r\n"_s, text.sliced(2).toString()};
    }
    const qsizetype blankLine = text.indexOf(u"\r\n\r\n");
    if (blankLine >= 0) {
        return {text.first(blankLine + 4).toString(), text.sliced(blankLine + 4).toString()};
    }
    QString header = text.toString();
    if (!header.isEmpty() && !header.endsWith(u"\r\n")) {
        header += u"\r\n";
    }
    if (!header.isEmpty()) {
        header += u"\r\n";
    }
    return {header, QString()};
}

MessageText HeaderOnly(QByteArrayView raw)
{
    return {toCrLf(decodeTextFile(raw)), QString()};
}
