// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Name of the do-not-send list in the program's directory.
inline constexpr QStringView DoNotSendFileName = u"donotsend.txt";

/// Whether the do-not-send list in `programDirectory` refuses the address
/// `strIn`: true when any entry of three or more characters occurs in it
/// (case-sensitive). The file is read afresh on every call; a missing or
/// unreadable file refuses nothing.
///
/// An entry ends at a comma or at the end of a line (CR LF, a lone LF or a lone
/// CR). Blanks and tabs in front of an entry are skipped, blanks at the end of an
/// unquoted entry are dropped. An entry that begins with a double quote runs to
/// the next double quote and is taken without the quotes; anything between the
/// closing quote and the next comma or line end is passed over.
bool DontSend(const QString& strIn, const QString& programDirectory);
