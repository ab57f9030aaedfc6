// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "resolve/HostResolver.h"

#include <QtGlobal>

class QByteArray;
struct ares_channeldata;

/// Reverse lookups on c-ares: the hosts file first, then a DNS PTR query
/// (under in-addr.arpa for IPv4, ip6.arpa for IPv6).
///
/// A PTR query made with ares_query tells "no such name" from "name without a
/// PTR record", which the C library's getnameinfo cannot; the second one is the
/// case the workbench shows as "N/A".
class CaresResolver final : public HostResolver
{
public:
    /// `dnsServers` in c-ares' "host:port,..." form sends the DNS queries there
    /// instead of to the servers of /etc/resolv.conf; empty text keeps those.
    explicit CaresResolver(QString dnsServers = {});
    ~CaresResolver() override;
    Q_DISABLE_COPY_MOVE(CaresResolver)

    int startup() override;
    void cleanup() override;
    ReverseLookupResult lookupAddress(quint32 networkOrderAddress) override;
    ReverseLookupResult lookupAddress6(const Ipv6Bytes& address) override;

    /// The value of ZELKOR_DNS_SERVERS, for the front ends to pass in.
    static QString serversFromEnvironment();

private:
    /// The hosts file, then the PTR record of `queryName`, for an address of
    /// `family` (AF_INET or AF_INET6) given as its `length` bytes.
    ReverseLookupResult lookup(const void* address, int length, int family, const QByteArray& queryName);

    QString m_dnsServers;
    ares_channeldata* m_channel = nullptr;
    bool m_libraryStarted = false;
};
