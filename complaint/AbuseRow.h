// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

/// One row of the abuse list; a ticked row is never written to.
struct AbuseRow
{
    QString address;
    bool ticked = false;
    /// Where the address came from: "dns" (the reverse lookup of the first
    /// relay), "whois" (a whois answer) or "rdap" (a network's published abuse
    /// contact).
    QString source;
    /// For an "rdap" row, the server that published the address.
    QString server;
    /// What the answer makes of the address: "abuse" (designated for abuse
    /// reports), "remark" (named in a remark about abuse), "registry" (the
    /// registry's own) or "other" (staff, NOC, a guess from the reverse lookup).
    QString role;

    friend bool operator==(const AbuseRow&, const AbuseRow&) = default;
};
