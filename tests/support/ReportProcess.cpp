// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ReportProcess.h"

#include <QProcess>
#include <QSignalSpy>

ReportOutcome runZelkorReport(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QString::fromUtf8(ZELKOR_REPORT_BINARY), arguments);
    process.closeWriteChannel();
    if (!finished.wait(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}
