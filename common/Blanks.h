// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringView>

/// Removes leading and trailing blanks (U+0020) only; tabs, line breaks and other
/// white space stay, which is what the header rows and queries rely on.
inline QStringView trimBlanks(QStringView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == u' ') {
        ++from;
    }
    while (to > from && text[to - 1] == u' ') {
        --to;
    }
    return text.sliced(from, to - from);
}
