// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapCache.h"

#include "rdap/RdapAnswer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <type_traits>

using namespace Qt::StringLiterals;

namespace {

// An entry is a few hundred bytes; a larger file is not one of ours.
constexpr qint64 LargestEntry = 64 * 1024;
// Clocks of machines that share a home directory may differ a little.
constexpr qint64 AllowedSkewSeconds = 5 * 60;

// How the addresses of a range's family are written, in file names and inside
// the files. An IPv4 text is never an IPv6 one and the other way round, so the
// entries of both families share the directory without mistaking each other.
QString formatAddress(Ipv4 address)
{
    return formatDottedQuad(address);
}

QString formatAddress(const Ipv6& address)
{
    return formatIpv6(address);
}

// Orders ranges by size: the narrower one is smaller.
quint64 sizeOf(const Ipv4Range& range)
{
    return range.size();
}

Ipv6 sizeOf(const Ipv6Range& range)
{
    return range.span();
}

template <typename Range>
std::optional<Range> rangeOfFileName(QStringView name)
{
    if (!name.endsWith(u".json"_s)) {
        return std::nullopt;
    }
    name.chop(5);
    const qsizetype dash = name.indexOf(u'-');
    if (dash < 0) {
        return std::nullopt;
    }
    const auto parse = [](QStringView text) {
        if constexpr (std::is_same_v<Range, Ipv6Range>) {
            return parseIpv6(text);
        } else {
            return parseDottedQuad(text);
        }
    };
    const auto first = parse(name.first(dash));
    const auto last = parse(name.sliced(dash + 1));
    if (!first || !last || *first > *last) {
        return std::nullopt;
    }
    return Range{*first, *last};
}

template <typename Range>
struct StoredEntry
{
    RdapCache::RangeEntry<Range> entry;
    qint64 stored = 0;
};

// The entry in a file, whatever its age; nothing for a file that is unreadable,
// not JSON, or whose fields do not fit its name.
template <typename Range>
std::optional<StoredEntry<Range>> readEntry(const QString& path, const Range& range)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > LargestEntry) {
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonObject object = document.object();
    const QJsonValue stored = object.value("stored"_L1);
    const QJsonValue server = object.value("server"_L1);
    const QJsonValue abuse = object.value("abuse"_L1);
    if (!document.isObject() || object.value("first"_L1).toString() != formatAddress(range.first) ||
        object.value("last"_L1).toString() != formatAddress(range.last) || !stored.isDouble() || !server.isString() ||
        !abuse.isArray()) {
        return std::nullopt;
    }
    StoredEntry<Range> result{{range, server.toString(), {}}, stored.toInteger()};
    const QJsonArray addresses = abuse.toArray();
    for (const auto& value : addresses) {
        if (!value.isString() || !isUsableEmail(value.toString())) {
            return std::nullopt;
        }
        result.entry.abuse.append(value.toString());
    }
    return result;
}

bool isCurrent(qint64 stored, const QDateTime& now)
{
    const qint64 age = now.toSecsSinceEpoch() - stored;
    return age >= -AllowedSkewSeconds &&
           age < std::chrono::duration_cast<std::chrono::seconds>(RdapCache::Lifetime).count();
}

template <typename Range, typename Address>
std::optional<RdapCache::RangeEntry<Range>> findEntry(const QString& path, const Address& address, const QDateTime& now)
{
    std::optional<RdapCache::RangeEntry<Range>> best;
    const QDir directory(path);
    const QStringList names = directory.entryList({u"*.json"_s}, QDir::Files);
    for (const QString& name : names) {
        const std::optional<Range> range = rangeOfFileName<Range>(name);
        if (!range || !range->contains(address) || (best && sizeOf(best->range) <= sizeOf(*range))) {
            continue;
        }
        const std::optional<StoredEntry<Range>> stored = readEntry(directory.filePath(name), *range);
        if (stored && isCurrent(stored->stored, now)) {
            best = stored->entry;
        }
    }
    return best;
}

// Whether the file `name` holds an entry of the range family past its time.
template <typename Range>
bool isExpiredEntry(const QDir& directory, const QString& name, const QDateTime& now)
{
    const std::optional<Range> range = rangeOfFileName<Range>(name);
    const std::optional<StoredEntry<Range>> stored =
        range ? readEntry(directory.filePath(name), *range) : std::optional<StoredEntry<Range>>();
    return stored && !isCurrent(stored->stored, now);
}

template <typename Range>
bool storeEntry(const QString& path, const RdapCache::RangeEntry<Range>& entry, const QDateTime& now)
{
    const QDir directory(path);
    if (!directory.mkpath(u"."_s)) {
        return false;
    }
    // Entries past their time are of no more use; they go when a new one comes.
    const QStringList names = directory.entryList({u"*.json"_s}, QDir::Files);
    for (const QString& name : names) {
        if (isExpiredEntry<Ipv4Range>(directory, name, now) || isExpiredEntry<Ipv6Range>(directory, name, now)) {
            QFile::remove(directory.filePath(name));
        }
    }

    const QJsonObject object{
        {u"first"_s, formatAddress(entry.range.first)},
        {u"last"_s, formatAddress(entry.range.last)},
        {u"server"_s, entry.server},
        {u"abuse"_s, QJsonArray::fromStringList(entry.abuse)},
        {u"stored"_s, now.toSecsSinceEpoch()},
    };
    QSaveFile file(directory.filePath(RdapCache::fileName(entry.range)));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    return file.commit();
}

} // namespace

QString RdapCache::fileName(const Ipv4Range& range)
{
    return formatDottedQuad(range.first) + u'-' + formatDottedQuad(range.last) + u".json"_s;
}

QString RdapCache::fileName(const Ipv6Range& range)
{
    return formatIpv6(range.first) + u'-' + formatIpv6(range.last) + u".json"_s;
}

std::optional<RdapCache::Entry> RdapCache::find(Ipv4 address, const QDateTime& now) const
{
    return findEntry<Ipv4Range>(m_directory, address, now);
}

std::optional<RdapCache::Entry6> RdapCache::find(const Ipv6& address, const QDateTime& now) const
{
    return findEntry<Ipv6Range>(m_directory, address, now);
}

bool RdapCache::store(const Entry& entry, const QDateTime& now) const
{
    return storeEntry(m_directory, entry, now);
}

bool RdapCache::store(const Entry6& entry, const QDateTime& now) const
{
    return storeEntry(m_directory, entry, now);
}
