// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "workbench/WorkbenchHost.h"

#include <QStringList>

#include <functional>

/// Records what the workbench asks of its face.
class RecordingHost final : public WorkbenchHost
{
public:
    QStringList startupFailures;
    QList<bool> busyCalls;
    int pendingEventPasses = 0;
    /// "title: text" of every message box, questions included.
    QStringList messageBoxes;
    /// What the next questions are answered, first first; OK when none is left.
    QList<bool> answers;
    /// Runs inside the one pass of pending events, as a queued click would.
    std::function<void()> duringPendingEvents;

    void showStartupFailure(const QString& message) override { startupFailures.append(message); }
    void setBusy(bool busy) override { busyCalls.append(busy); }
    bool askOkCancel(const QString& title, const QString& text) override
    {
        messageBoxes.append(title + u": " + text);
        return answers.isEmpty() || answers.takeFirst();
    }
    void showMessage(const QString& title, const QString& text) override { messageBoxes.append(title + u": " + text); }
    void processPendingEvents() override
    {
        ++pendingEventPasses;
        if (duringPendingEvents) {
            duringPendingEvents();
        }
        WorkbenchHost::processPendingEvents();
    }
};
