// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "header/ReceivedChain.h"

#include <QStringList>

/// Hops written one per row as "address | reverse name | v (vouched for) or u |
/// by | with", newest first; every hop gets `helo`, which is no evidence.
QList<ReceivedHop> hopsFromRows(const QStringList& rows, const QString& helo);
