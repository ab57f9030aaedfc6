// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbench/WorkbenchHost.h"

#include <QCoreApplication>

void WorkbenchHost::processPendingEvents()
{
    QCoreApplication::processEvents();
}
