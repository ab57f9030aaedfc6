// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/RdapAddress.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

/// The results of successful RDAP lookups, one file per network range
/// ("<first>-<last>.json") in one directory, so that spam from the same
/// network asks its registry once a day. Files that cannot be read or do not
/// hold an entry are passed over; the next store for that range replaces them.
class RdapCache
{
public:
    struct Entry
    {
        Ipv4Range range;
        /// The base URL that was asked.
        QString server;
        QStringList abuse;
    };

    /// How long an entry counts, by the time stored inside it.
    static constexpr std::chrono::hours Lifetime{24};

    explicit RdapCache(QString directory)
        : m_directory(std::move(directory))
    {}

    const QString& directory() const { return m_directory; }

    /// The narrowest current entry whose range holds `address`.
    std::optional<Entry> find(Ipv4 address, const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    /// Writes the entry for its range; false when the file could not be written.
    bool store(const Entry& entry, const QDateTime& now = QDateTime::currentDateTimeUtc()) const;

    /// The file name of a range's entry.
    static QString fileName(const Ipv4Range& range);

private:
    QString m_directory;
};
