// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "workbench/WorkbenchHost.h"

#include <QStringList>

/// Records what the workbench asks of its face.
class RecordingHost final : public WorkbenchHost
{
public:
    QStringList startupFailures;
    QList<bool> busyCalls;
    int pendingEventPasses = 0;

    void showStartupFailure(const QString& message) override { startupFailures.append(message); }
    void setBusy(bool busy) override { busyCalls.append(busy); }
    void processPendingEvents() override
    {
        ++pendingEventPasses;
        WorkbenchHost::processPendingEvents();
    }
};
