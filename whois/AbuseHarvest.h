// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

/// ASCII letters and digits, "-", "_", "." and "@".
bool IsAddressChar(QChar c);

/// Whether the text holds at least one "@" and at least one ".".
bool IsValidAddress(QStringView text);

/// The answer up to and including its last line break (CR or LF): the lines
/// the server ended. An answer without any line break gives empty text.
QStringView EndedLines(QStringView answer);

/// Refuses an upper-case address (the do-not-send list).
using AddressFilter = std::function<bool(const QString& address)>;

/// The new abuse addresses of a final whois answer, in upper case and in order.
///
/// The answer is split at single blanks; from every word that holds an "@" and a
/// "." the leading run of address characters is taken. A candidate is dropped
/// when it names a registry (RIPE, LACNIC, AUNIC, APNIC or KRNIC in any case),
/// when it is already in `listed` or found earlier in the answer, when
/// `dontSend` refuses it, or when it lacks an "@" or a ".".
///
/// Whois servers end every line of an answer; a last line without its line
/// break was cut off (the server closed or reset mid-answer, or was still
/// sending when the window ended), so it is not read: its last word may be half
/// an address.
QStringList HarvestAddresses(const QString& answer, const QStringList& listed, const AddressFilter& dontSend);
