// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

/// One row of the abuse list; a ticked row is never written to.
struct AbuseRow
{
    QString address;
    bool ticked = false;

    friend bool operator==(const AbuseRow&, const AbuseRow&) = default;
};
