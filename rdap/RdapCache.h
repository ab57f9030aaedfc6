// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/RdapAddress.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

/// The results of successful RDAP lookups, one file per network range
/// ("<first>-<last>.json", IPv4 in dotted quads, IPv6 in the form of RFC 5952
/// such as "2001:db8::-2001:db8::ffff.json") in one directory, so that spam
/// from the same network asks its registry once a day. Files that cannot be
/// read or do not hold an entry are passed over; the next store for that range
/// replaces them.
class RdapCache
{
public:
    template <typename Range>
    struct RangeEntry
    {
        Range range;
        /// The base URL that was asked.
        QString server;
        QStringList abuse;
    };
    using Entry = RangeEntry<Ipv4Range>;
    using Entry6 = RangeEntry<Ipv6Range>;

    /// How long an entry counts, by the time stored inside it.
    static constexpr std::chrono::hours Lifetime{24};

    explicit RdapCache(QString directory)
        : m_directory(std::move(directory))
    {}

    const QString& directory() const { return m_directory; }

    /// The narrowest current entry whose range holds `address`.
    std::optional<Entry> find(Ipv4 address, const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    std::optional<Entry6> find(const Ipv6& address, const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    /// Writes the entry for its range; false when the file could not be written.
    bool store(const Entry& entry, const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    bool store(const Entry6& entry, const QDateTime& now = QDateTime::currentDateTimeUtc()) const;

    /// The file name of a range's entry.
    static QString fileName(const Ipv4Range& range);
    static QString fileName(const Ipv6Range& range);

private:
    QString m_directory;
};
