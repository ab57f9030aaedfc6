// SPDX-License-Identifier: GPL-3.0-or-later
#include "header/RelayAddress.h"

#include "common/CaseMapping.h"

using namespace Qt::StringLiterals;

namespace {

// The dotted-address scan is written with 1-based positions and 0 for "not
// found", which keeps it close to how its rules are stated.
class OneBasedText
{
public:
    explicit OneBasedText(const QString& text)
        : m_text(text)
    {}

    qsizetype length() const { return m_text.size(); }

    bool isDigitAt(qsizetype position) const
    {
        if (position < 1 || position > length()) {
            return false;
        }
        const QChar c = m_text[position - 1];
        return c >= u'0' && c <= u'9';
    }

    bool isDigitOrDotAt(qsizetype position) const { return isDigitAt(position) || m_text[position - 1] == u'.'; }

    /// Position of the first "." at or after `from`, or 0.
    qsizetype dotFrom(qsizetype from) const
    {
        const qsizetype index = m_text.indexOf(u'.', from - 1);
        return index < 0 ? 0 : index + 1;
    }

    QString mid(qsizetype from, qsizetype to) const { return m_text.mid(from - 1, to - from + 1); }

private:
    const QString& m_text;
};

// The longest group of up to three digits around the dots a < b < c: the leftmost
// digit within three places before a, the rightmost within three after c, and
// nothing but digits and dots between them.
QString candidateAt(const OneBasedText& text, qsizetype a, qsizetype c)
{
    qsizetype start = 0;
    for (qsizetype position = a - 3; position <= a - 1; ++position) {
        if (text.isDigitAt(position)) {
            start = position;
            break;
        }
    }
    qsizetype end = 0;
    for (qsizetype position = c + 3; position >= c + 1; --position) {
        if (text.isDigitAt(position)) {
            end = position;
            break;
        }
    }
    if (start == 0 || end == 0) {
        return {};
    }
    for (qsizetype position = start; position <= end; ++position) {
        if (!text.isDigitOrDotAt(position)) {
            return {};
        }
    }
    return text.mid(start, end);
}

} // namespace

QString ExtractBracketedAddress(const QString& strValue)
{
    if (strValue.isEmpty()) {
        return {};
    }
    const qsizetype open = strValue.indexOf(u"(["_s);
    const qsizetype close = strValue.indexOf(u"])"_s);
    if (open < 0 || close < 0 || close < open) {
        return {};
    }
    return strValue.mid(open + 2, close - open - 2);
}

QString FindDottedAddress(const QString& strValue)
{
    const OneBasedText text(strValue);
    qsizetype searchFrom = 1;
    for (;;) {
        const qsizetype a = text.dotFrom(searchFrom + 1);
        if (a == 0) {
            return {};
        }
        const qsizetype b = text.dotFrom(a + 1);
        const qsizetype c = b == 0 ? 0 : text.dotFrom(b + 1);
        if (c == 0) {
            return {};
        }
        if (b - a < 5 && c - b < 5) {
            QString candidate = candidateAt(text, a, c);
            if (!candidate.isEmpty()) {
                return candidate;
            }
        }
        searchFrom = a;
    }
}

QString GetDomainFromHost(const QString& strHost)
{
    qsizetype lastDot = -1;
    qsizetype dotBefore = -1;
    for (qsizetype at = strHost.indexOf(u'.', 1); at >= 0; at = strHost.indexOf(u'.', at + 1)) {
        dotBefore = lastDot;
        lastDot = at;
    }
    const QString domain = dotBefore < 0 ? strHost : strHost.mid(dotBefore + 1);
    return toUpperOneForOne(domain);
}
