// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

#include <optional>

/// Where a lookup connects: host (or address) and port.
struct WhoisEndpoint
{
    QString host;
    quint16 port = 0;

    friend bool operator==(const WhoisEndpoint&, const WhoisEndpoint&) = default;
};

/// Sends lookups for some whois host names to other addresses and ports: for
/// tests on loopback, and for people who must reach whois through a relay.
class WhoisServerMap final
{
public:
    /// Reads "HOSTNAME=ADDRESS:PORT,..." (an IPv6 address in brackets, as in
    /// "[::1]:4301"). Host names compare without regard to letter case. Returns
    /// nothing and sets `error` for a malformed text.
    static std::optional<WhoisServerMap> parse(QStringView text, QString* error = nullptr);

    /// The map of ZELKOR_WHOIS_SERVERS (empty when the variable is unset).
    static std::optional<WhoisServerMap> fromEnvironment(QString* error = nullptr);

    /// The endpoint for a formed host name: the mapped one, or the host itself on `defaultPort`.
    WhoisEndpoint endpointFor(const QString& hostName, quint16 defaultPort) const;

private:
    QHash<QString, WhoisEndpoint> m_endpoints;
};
