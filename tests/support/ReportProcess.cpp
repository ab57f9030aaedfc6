// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ReportProcess.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

ReportOutcome runZelkorReport(const QStringList& arguments, const QProcessEnvironment& environment)
{
    // The run keeps its journal in a folder of the test's own: the one the
    // test chose under the temporary folder, else one for this run alone.
    QProcessEnvironment runEnvironment = environment;
    QTemporaryDir journalHome;
    if (!runEnvironment.value(u"XDG_DATA_HOME"_s).startsWith(QDir::tempPath() + u'/')) {
        runEnvironment.insert(u"XDG_DATA_HOME"_s, journalHome.path());
    }
    QProcess process;
    process.setProcessEnvironment(runEnvironment);
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
