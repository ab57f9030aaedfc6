// SPDX-License-Identifier: GPL-3.0-or-later
#include "header/HeaderField.h"

#include "common/CaseMapping.h"

#include <QList>

namespace {

bool isFoldingBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimFoldingBlanks(QStringView text)
{
    while (!text.isEmpty() && isFoldingBlank(text.front())) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && isFoldingBlank(text.back())) {
        text.chop(1);
    }
    return text;
}

} // namespace

QString UnfoldedFieldValue(const QString& header, QStringView name)
{
    const QString wanted = toLowerOneForOne(name);
    QString value;
    bool inField = false;
    for (const QStringView line : QStringView(header).split(u"\r\n")) {
        if (inField) {
            if (line.isEmpty() || !isFoldingBlank(line.front())) {
                break;
            }
            value += line;
            continue;
        }
        if (line.isEmpty()) {
            break; // the empty line that ends the header block
        }
        const qsizetype colon = line.indexOf(u':');
        if (colon > 0 && toLowerOneForOne(line.first(colon)) == wanted) {
            value = line.sliced(colon + 1).toString();
            inField = true;
        }
    }
    return trimFoldingBlanks(value).toString();
}
