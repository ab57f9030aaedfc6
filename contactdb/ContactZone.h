// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/// Whether `zone` can name a DNS zone to ask: dot-separated labels of 1-63
/// ASCII letters, digits, "-" or "_", at most 253 characters in all, one
/// trailing dot allowed.
bool isContactZoneName(QStringView zone);

/// The name to ask for the TXT records of `relay` under `zone`: the address's
/// octets in reverse order for IPv4 ("4.3.2.1.zone"), its 32 nibbles in
/// reverse order for IPv6 (as under ip6.arpa), an IPv4-mapped IPv6 address as
/// its IPv4 address. Empty when `relay` is not an address or `zone` is no zone
/// name.
QByteArray contactQueryName(QStringView relay, QStringView zone);

/// The e-mail addresses in the TXT records of a contact database's answer,
/// each record given as its strings joined. A record may hold several addresses
/// apart by commas, semicolons or blanks, each maybe in angle brackets or
/// quotes or after "mailto:". Only whole addresses of the characters the abuse
/// list keeps count (a local part and a domain with a dot); they come in answer
/// order, each once whatever its case, as published.
QStringList contactAddressesInTxt(const QList<QByteArray>& records);
