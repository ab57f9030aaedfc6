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
/// process can answer it. Its journal is kept under XDG_DATA_HOME of
/// `environment` when that lies in the temporary folder (a test's own, as
/// MailTestEnvironment sets it), else in a folder of this run alone.
ReportOutcome runZelkorReport(const QStringList& arguments, const QProcessEnvironment& environment);
