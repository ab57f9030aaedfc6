// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// Case mapping one character at a time: every character becomes exactly one
// character, so a text never changes its length ("ß" stays "ß", "İ" lowers to
// "i"). Every upper- and lower-casing of the program goes through these two, so
// that a do-not-send entry and an address are always cased alike.

/// The text with every character mapped to its simple upper-case form.
QString toUpperOneForOne(QStringView text);

/// The text with every character mapped to its simple lower-case form.
QString toLowerOneForOne(QStringView text);
