// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// What the workbench asks of the face that shows it: the window answers with
/// message boxes and the override cursor, the headless front end with standard
/// error, the tests with records of the calls.
class WorkbenchHost
{
public:
    virtual ~WorkbenchHost() = default;

    /// The resolver could not be started; `message` may be empty. Loading goes on.
    virtual void showStartupFailure(const QString& message) = 0;

    /// Shows or clears the busy pointer for the whole application.
    virtual void setBusy(bool busy) = 0;

    /// A message box with OK and Cancel and no icon; true when OK was chosen.
    virtual bool askOkCancel(const QString& title, const QString& text) = 0;

    /// A message box with an OK button only and no icon.
    virtual void showMessage(const QString& title, const QString& text) = 0;

    /// Lets pending events run once (before the blocking reverse lookup).
    virtual void processPendingEvents();
};
