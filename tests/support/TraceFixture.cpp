// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TraceFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>

#include <utility>

using namespace Qt::StringLiterals;

TraceFixture::TraceFixture(std::chrono::milliseconds window)
    : m_workbench({resolver, host, m_programDirectory.path(), {window, m_registries.serverMap()}})
{
    // The lookup shows "Received answer" and then the answer it evaluates; that
    // pair tells an evaluated answer from the emptied tracking text.
    connect(&m_workbench, &Workbench::changed, this, [this, received = false](Workbench::Field field) mutable {
        if (field == Workbench::Field::Status) {
            statuses.append(state().txtWhoStatus);
            received = state().txtWhoStatus == u"Received answer";
        } else if (field == Workbench::Field::Tracking && std::exchange(received, false)) {
            answers.append(state().txtWhoIsOut);
        }
    });
}

QStringList TraceFixture::abuseRows() const
{
    QStringList rows;
    for (const AbuseRow& row : state().lstAbuse) {
        rows.append((row.ticked ? u"[x] "_s : u"[ ] "_s) + row.address);
    }
    return rows;
}

QStringList TraceFixture::statusSequence() const
{
    static const QRegularExpression receiving(u"^Receiving \\d+ bytes (.*) response$"_s);
    QStringList sequence;
    for (const QString& status : statuses) {
        const QRegularExpressionMatch match = receiving.match(status);
        const QString entry = match.hasMatch() ? u"Receiving "_s + match.captured(1) : status;
        if (sequence.isEmpty() || sequence.last() != entry || !match.hasMatch()) {
            sequence.append(entry);
        }
    }
    return sequence;
}

bool TraceFixture::writeDoNotSend(const QByteArray& content) const
{
    QFile file(m_programDirectory.filePath(u"donotsend.txt"_s));
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool TraceFixture::runTrace(const QString& header, std::chrono::milliseconds timeout)
{
    QSignalSpy finished(&m_workbench, &Workbench::traceFinished);
    m_workbench.setHeaderText(header);
    m_workbench.Start();
    if (!finished.isEmpty()) {
        return true;
    }
    // A Start that started no trace has nothing to wait for.
    return m_workbench.isTracing() && finished.wait(int(timeout.count()));
}
