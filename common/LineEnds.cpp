// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/LineEnds.h"

using namespace Qt::StringLiterals;

QString toCrLf(QStringView text)
{
    QString result;
    result.reserve(text.size() + text.size() / 32 + 2);
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c == u'\r') {
            result += u"\r\n";
            if (at + 1 < text.size() && text[at + 1] == u'\n') {
                ++at;
            }
        } else if (c == u'\n') {
            result += u"\r\n";
        } else {
            result += c;
        }
    }
    return result;
}

QString crLfToLf(QStringView text)
{
    QString result = text.toString();
    result.replace(u"\r\n"_s, u"\n"_s);
    return result;
}
