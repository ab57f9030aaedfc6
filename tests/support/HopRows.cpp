// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/HopRows.h"

QList<ReceivedHop> hopsFromRows(const QStringList& rows, const QString& helo)
{
    QList<ReceivedHop> hops;
    for (const QString& row : rows) {
        const QStringList parts = row.split(u'|');
        ReceivedHop hop;
        hop.address = parts.value(0).trimmed();
        hop.reverseName = parts.value(1).trimmed();
        hop.reverseVerified = parts.value(2).trimmed() == u"v";
        hop.by = parts.value(3).trimmed();
        hop.with = parts.value(4).trimmed();
        hop.helo = helo;
        hops.append(hop);
    }
    return hops;
}
