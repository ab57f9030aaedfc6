// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/RegistryServers.h"

#include <QtTest/qtestassert.h>

using namespace Qt::StringLiterals;

// In id order, written out rather than formed by the code under test: a mistake
// in forming the hosts must show up as a failure, not as a lookup on the internet.
static const std::array<QString, 7> Registries{u"ARIN"_s,  u"RIPE"_s,  u"LACNIC"_s, u"AUNIC"_s,
                                               u"APNIC"_s, u"KRNIC"_s, u"NIC.BR"_s};

RegistryServers::RegistryServers()
{
    QStringList entries;
    for (std::size_t i = 0; i < m_servers.size(); ++i) {
        entries.append(m_servers[i].mapEntry(u"WHOIS.%1.NET"_s.arg(Registries[i])));
        connect(&m_servers[i], &TestWhoisServer::queryReceived, this,
                [this, name = Registries[i]](const QString& query) { asked.append(name + u' ' + query); });
    }
    m_environmentValue = entries.join(u',');
    m_map = *WhoisServerMap::parse(m_environmentValue);
    // Whatever host the code under test forms must be one of the mapped ones.
    for (const WhoisRegistry& registry : RegistryTable()) {
        QTEST_ASSERT(m_map.endpointFor(WhoisServerHost(registry), WhoisPort).host == u"127.0.0.1");
    }
}
