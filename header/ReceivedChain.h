// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

/// One `Received` field of a header that names the address the mail came from:
/// what the receiving server recorded about the hop.
struct ReceivedHop
{
    /// The sending address as the header gives it (IPv4 or IPv6), without an
    /// "IPv6:" prefix, brackets or a port.
    QString address;
    /// The reverse name the receiving server recorded for the address; empty
    /// when it recorded none (or wrote "unknown").
    QString reverseName;
    /// Whether the receiving server vouched for `reverseName`: false when it
    /// recorded none, or marked it ("unknown", "may be forged", "unverified").
    bool reverseVerified = false;
    /// The name the sender gave in HELO / EHLO (the sender chooses it).
    QString helo;
    /// The receiving server, from the "by" clause.
    QString by;
    /// The protocol, from the "with" clause ("ESMTPS", "POP3", "LMTP").
    QString with;
};

/// The hops of a header's `Received` fields that name a sending address,
/// newest (topmost) first. Every field is unfolded first, so an address on a
/// continuation line is found. Fields without an address (qmail's "invoked
/// from network", a local delivery) give no hop. The address is taken from the
/// "from" clause only, as a bracketed literal ("[192.0.2.1]", "[IPv6:2001:db8::1]",
/// with a port after or inside the brackets) or a comment holding nothing but an
/// address ("(192.0.2.1)"), and only when it is a valid IPv4 dotted quad or IPv6
/// literal. Reading stops at the empty line that ends the header block; CR LF and
/// LF line breaks are both read. A pure function of the text.
QList<ReceivedHop> ParseReceivedChain(QStringView header);
