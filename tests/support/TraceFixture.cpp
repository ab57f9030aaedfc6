// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TraceFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest/qtestassert.h>

#include <utility>

using namespace Qt::StringLiterals;

// In id order, written out rather than formed by the code under test: a mistake
// in forming the hosts must show up as a failure, not as a lookup on the internet.
static const std::array<QString, 7> Registries{u"ARIN"_s,  u"RIPE"_s,  u"LACNIC"_s, u"AUNIC"_s,
                                               u"APNIC"_s, u"KRNIC"_s, u"NIC.BR"_s};

// Maps each registry's whois host to its server and names the queries it receives.
WhoisServerMap TraceFixture::mapServers()
{
    QStringList entries;
    for (std::size_t i = 0; i < m_servers.size(); ++i) {
        entries.append(m_servers[i].mapEntry(u"WHOIS.%1.NET"_s.arg(Registries[i])));
        connect(&m_servers[i], &TestWhoisServer::queryReceived, this,
                [this, name = Registries[i]](const QString& query) { asked.append(name + u' ' + query); });
    }
    return *WhoisServerMap::parse(entries.join(u','));
}

TraceFixture::TraceFixture(std::chrono::milliseconds window)
    : m_map(mapServers())
    , m_workbench({resolver, host, m_programDirectory.path(), {window, m_map}})
{
    // Whatever host the code under test forms must be one of the mapped ones.
    for (const WhoisRegistry& registry : RegistryTable()) {
        QTEST_ASSERT(m_map.endpointFor(WhoisServerHost(registry), WhoisPort).host == u"127.0.0.1");
    }
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
    return !finished.isEmpty() || finished.wait(int(timeout.count()));
}
