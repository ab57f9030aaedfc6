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
template <typename Map>
QString mapEachCharacter(QStringView text, Map map)
{
    QString mapped;
    mapped.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar unit = text[at];
        const bool pair = unit.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
        if (!pair) {
            // A lone surrogate maps to itself and is kept as it is.
            const char32_t result = map(unit.unicode());
            mapped.append(QChar::requiresSurrogates(result) ? unit : QChar(char16_t(result)));
            continue;
        }
        const char32_t original = QChar::surrogateToUcs4(unit, text[at + 1]);
        char32_t result = map(original);
        if (!QChar::requiresSurrogates(result)) {
            result = original;
        }
        mapped.append(QChar(QChar::highSurrogate(result)));
        mapped.append(QChar(QChar::lowSurrogate(result)));
        ++at;
    }
    return mapped;
}

} // namespace

QString toUpperOneForOne(QStringView text)
{
    return mapEachCharacter(text, [](char32_t c) { return char32_t(u_toupper(UChar32(c))); });
}

QString toLowerOneForOne(QStringView text)
{
    return mapEachCharacter(text, [](char32_t c) { return char32_t(u_tolower(UChar32(c))); });
}
