// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/WhoisBench.h"

#include "whois/WhoisLookup.h"

#include <QFile>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

struct RegistryHost
{
    QStringView name;
    QStringView host;
};

// In id order. Written out rather than formed by the code under test: a mistake in forming
// the names must show up as a failure, not as a lookup on the internet.
constexpr std::array<RegistryHost, 7> RegistryHosts{{
    {u"ARIN", u"WHOIS.ARIN.NET"},
    {u"RIPE", u"WHOIS.RIPE.NET"},
    {u"LACNIC", u"WHOIS.LACNIC.NET"},
    {u"AUNIC", u"WHOIS.AUNIC.NET"},
    {u"APNIC", u"WHOIS.APNIC.NET"},
    {u"KRNIC", u"WHOIS.KRNIC.NET"},
    {u"NIC.BR", u"WHOIS.NIC.BR.NET"},
}};

} // namespace

WhoisBench::WhoisBench(std::chrono::milliseconds window)
{
    QStringList entries;
    for (std::size_t i = 0; i < RegistryHosts.size(); ++i) {
        m_servers[i] = std::make_unique<TestWhoisServer>();
        entries.append(m_servers[i]->mapEntry(RegistryHosts[i].host.toString()));
        connect(m_servers[i].get(), &TestWhoisServer::queryReceived, this,
                [this, name = RegistryHosts[i].name](const QString& query) { asked.append(name + u' ' + query); });
    }
    m_map = *WhoisServerMap::parse(entries.join(u','));
    for (const WhoisRegistry& registry : RegistryTable()) {
        if (m_map.endpointFor(WhoisServerHost(registry), WhoisPort).host != u"127.0.0.1") {
            qFatal("WhoisBench: the whois host of %s is not mapped to loopback", qPrintable(WhoisServerHost(registry)));
        }
    }
    m_workbench = std::make_unique<Workbench>(
        Workbench::Dependencies{resolver, host, m_programDirectory.path(), WhoisLookup::Options{window, m_map}});
    connect(m_workbench.get(), &Workbench::changed, this, &WhoisBench::onChanged);
}

QStringList WhoisBench::abuseRows() const
{
    QStringList rows;
    for (const AbuseRow& row : state().lstAbuse) {
        rows.append((row.ticked ? u"[x] "_s : u"[ ] "_s) + row.address);
    }
    return rows;
}

bool WhoisBench::writeDoNotSend(const QByteArray& content) const
{
    QFile file(m_programDirectory.filePath(u"donotsend.txt"_s));
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool WhoisBench::runTrace(const QString& header, std::chrono::milliseconds timeout)
{
    QSignalSpy finished(m_workbench.get(), &Workbench::traceFinished);
    m_workbench->setHeaderText(header);
    m_workbench->Start();
    return !finished.isEmpty() || finished.wait(static_cast<int>(timeout.count()));
}

// The lookup shows "Received answer" and then the answer it evaluates; that
// pair is how an evaluated answer is told from the emptied tracking text.
void WhoisBench::onChanged(Workbench::Field field)
{
    if (field == Workbench::Field::Status) {
        statuses.append(state().txtWhoStatus);
        m_answerReceived = state().txtWhoStatus == u"Received answer";
    } else if (field == Workbench::Field::Tracking && m_answerReceived) {
        answers.append(state().txtWhoIsOut);
        m_answerReceived = false;
    }
}
