// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/RdapAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

/// An IANA RDAP bootstrap file for IP addresses (RFC 9224, "ipv4.json" or
/// "ipv6.json"): which registry's RDAP service answers for which address block.
/// One table holds the blocks of one family.
class RdapBootstrap
{
public:
    enum class Family
    {
        IPv4,
        IPv6,
    };

    /// One address block of a service.
    template <typename Address>
    struct Block
    {
        Address network{};
        int prefixLength = 0;
        /// The service's https base URL (an http one only on a loopback host);
        /// empty when the service lists none of those.
        QUrl base;
    };
    using Entry = Block<Ipv4>;
    using Entry6 = Block<Ipv6>;

    /// The copies compiled into the program.
    static constexpr QLatin1StringView BuiltInFile{":/rdap/ipv4.json"};
    static constexpr QLatin1StringView BuiltInFile6{":/rdap/ipv6.json"};

    /// Reads a bootstrap file's text for `family`; nothing when it is not one
    /// (it lists no block of that family), with the reason in `error`.
    static std::optional<RdapBootstrap> parse(const QByteArray& json, QString* error = nullptr,
                                              Family family = Family::IPv4);
    /// Reads a bootstrap file; nothing when it cannot be read or is not one.
    static std::optional<RdapBootstrap> load(const QString& fileName, QString* error = nullptr,
                                             Family family = Family::IPv4);

    /// The entry with the longest prefix that covers `address`, or nullptr.
    const Entry* find(Ipv4 address) const;
    const Entry6* find(const Ipv6& address) const;

    const QList<Entry>& entries() const { return m_entries; }
    const QList<Entry6>& entries6() const { return m_entries6; }

private:
    QList<Entry> m_entries;
    QList<Entry6> m_entries6;
};
