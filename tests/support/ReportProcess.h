// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

/// How a run of zelkor-report ended.
struct ReportOutcome
{
    int exitCode = -1; ///< -1 when it did not end within a minute
    QByteArray out;
    QByteArray err;
};

/// Runs zelkor-report with the event loop going, so that test servers in this
/// process can answer it.
ReportOutcome runZelkorReport(const QStringList& arguments, const QProcessEnvironment& environment);
