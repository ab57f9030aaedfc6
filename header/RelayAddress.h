// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Text rules that find the relay address in the value of one Received line and
// cut a domain out of a host name. None of them validates an address: they cut
// text by position, exactly as the rules below say, and never fail.

/// The text between the first "([" and the first "])" of a Received value, or
/// empty text when either is missing or "])" comes first.
QString ExtractBracketedAddress(const QString& strValue);

/// The first group of four runs of digits joined by three dots (each outer group
/// one to three digits, inner groups up to three), or empty text.
QString FindDottedAddress(const QString& strValue);

/// The last two labels of a host name in upper case; a name of one or two labels
/// is returned whole (upper-cased). A dot in the first position does not count.
QString GetDomainFromHost(const QString& strHost);
