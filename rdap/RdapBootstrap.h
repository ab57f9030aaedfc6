// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/RdapAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

/// The IANA RDAP bootstrap file for IPv4 (RFC 9224, "ipv4.json"): which
/// registry's RDAP service answers for which address block.
class RdapBootstrap
{
public:
    struct Entry
    {
        Ipv4 network = 0;
        int prefixLength = 0;
        /// The service's https base URL (an http one only on a loopback host);
        /// empty when the service lists none of those.
        QUrl base;
    };

    /// The copy compiled into the program.
    static constexpr QLatin1StringView BuiltInFile{":/rdap/ipv4.json"};

    /// Reads a bootstrap file's text; nothing when it is not one, with the reason
    /// in `error`.
    static std::optional<RdapBootstrap> parse(const QByteArray& json, QString* error = nullptr);
    /// Reads a bootstrap file; nothing when it cannot be read or is not one.
    static std::optional<RdapBootstrap> load(const QString& fileName, QString* error = nullptr);

    /// The entry with the longest prefix that covers `address`, or nullptr.
    const Entry* find(Ipv4 address) const;

    const QList<Entry>& entries() const { return m_entries; }

private:
    QList<Entry> m_entries;
};
