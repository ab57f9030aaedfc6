// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/CaseMapping.h"

#include <unicode/uchar.h>

namespace {

// ICU's u_toupper and u_tolower give the simple (one-to-one) mappings of the
// Unicode database. QString::toUpper uses the full ones, where "ß" becomes
// "SS", and QChar leaves every character that has a full mapping unchanged,
// "İ" among them.
// A code point and its mapping take the same number of UTF-16 units in every
// Unicode version so far; the original is kept should one ever not.
enum class Case
{
    Upper,
    Lower
};

char32_t mapCharacter(char32_t c, Case target)
{
    if (c < 0x80) {
        // Addresses, host names and field names are nearly all ASCII.
        if (target == Case::Upper && c >= u'a' && c <= u'z') {
            return c - (u'a' - u'A');
        }
        if (target == Case::Lower && c >= u'A' && c <= u'Z') {
            return c + (u'a' - u'A');
        }
        return c;
    }
    return char32_t(target == Case::Upper ? u_toupper(UChar32(c)) : u_tolower(UChar32(c)));
}

QString mapEachCharacter(QStringView text, Case target)
{
    // Every character keeps its length, so the result is written in place.
    QString mapped(text.size(), Qt::Uninitialized);
    QChar* out = mapped.data();
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar unit = text[at];
        const bool pair = unit.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
        if (!pair) {
            // A lone surrogate maps to itself and is kept as it is.
            const char32_t result = mapCharacter(unit.unicode(), target);
            out[at] = QChar::requiresSurrogates(result) ? unit : QChar(char16_t(result));
            continue;
        }
        const char32_t original = QChar::surrogateToUcs4(unit, text[at + 1]);
        char32_t result = mapCharacter(original, target);
        if (!QChar::requiresSurrogates(result)) {
            result = original;
        }
        out[at] = QChar(QChar::highSurrogate(result));
        out[at + 1] = QChar(QChar::lowSurrogate(result));
        ++at;
    }
    return mapped;
}

} // namespace

QString toUpperOneForOne(QStringView text)
{
    return mapEachCharacter(text, Case::Upper);
}

QString toLowerOneForOne(QStringView text)
{
    return mapEachCharacter(text, Case::Lower);
}
