// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/TestWhoisServer.h"
#include "whois/RegistryTable.h"
#include "whois/WhoisServerMap.h"

#include <array>

/// A test whois server on loopback for every registry, and the server map that
/// sends each registry's whois host to its server.
class RegistryServers final : public QObject
{
    Q_OBJECT

public:
    RegistryServers();

    TestWhoisServer& server(RegistryId registry) { return m_servers.at(registry - 1); }
    const WhoisServerMap& serverMap() const { return m_map; }
    /// The same map in the form of ZELKOR_WHOIS_SERVERS, for a child process.
    const QString& environmentValue() const { return m_environmentValue; }

    /// "REGISTRY query" for every query line any server received, in order.
    QStringList asked;

private:
    std::array<TestWhoisServer, 7> m_servers;
    WhoisServerMap m_map;
    QString m_environmentValue;
};
