// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapCache.h"

#include "rdap/RdapAnswer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

// An entry is a few hundred bytes; a larger file is not one of ours.
constexpr qint64 LargestEntry = 64 * 1024;
// Clocks of machines that share a home directory may differ a little.
constexpr qint64 AllowedSkewSeconds = 5 * 60;

std::optional<Ipv4Range> rangeOfFileName(QStringView name)
{
    if (!name.endsWith(u".json"_s)) {
        return std::nullopt;
    }
    name.chop(5);
    const qsizetype dash = name.indexOf(u'-');
    if (dash < 0) {
        return std::nullopt;
    }
    const std::optional<Ipv4> first = parseDottedQuad(name.first(dash));
    const std::optional<Ipv4> last = parseDottedQuad(name.sliced(dash + 1));
    if (!first || !last || *first > *last) {
        return std::nullopt;
    }
    return Ipv4Range{*first, *last};
}

struct StoredEntry
{
    RdapCache::Entry entry;
    qint64 stored = 0;
};

// The entry in a file, whatever its age; nothing for a file that is unreadable,
// not JSON, or whose fields do not fit its name.
std::optional<StoredEntry> readEntry(const QString& path, const Ipv4Range& range)
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
    if (!document.isObject() || object.value("first"_L1).toString() != formatDottedQuad(range.first) ||
        object.value("last"_L1).toString() != formatDottedQuad(range.last) || !stored.isDouble() ||
        !server.isString() || !abuse.isArray()) {
        return std::nullopt;
    }
    StoredEntry result{{range, server.toString(), {}}, stored.toInteger()};
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

} // namespace

QString RdapCache::fileName(const Ipv4Range& range)
{
    return formatDottedQuad(range.first) + u'-' + formatDottedQuad(range.last) + u".json"_s;
}

std::optional<RdapCache::Entry> RdapCache::find(Ipv4 address, const QDateTime& now) const
{
    std::optional<Entry> best;
    const QDir directory(m_directory);
    const QStringList names = directory.entryList({u"*.json"_s}, QDir::Files);
    for (const QString& name : names) {
        const std::optional<Ipv4Range> range = rangeOfFileName(name);
        if (!range || !range->contains(address) || (best && best->range.size() <= range->size())) {
            continue;
        }
        const std::optional<StoredEntry> stored = readEntry(directory.filePath(name), *range);
        if (stored && isCurrent(stored->stored, now)) {
            best = stored->entry;
        }
    }
    return best;
}

bool RdapCache::store(const Entry& entry, const QDateTime& now) const
{
    const QDir directory(m_directory);
    if (!directory.mkpath(u"."_s)) {
        return false;
    }
    // Entries past their time are of no more use; they go when a new one comes.
    const QStringList names = directory.entryList({u"*.json"_s}, QDir::Files);
    for (const QString& name : names) {
        const std::optional<Ipv4Range> range = rangeOfFileName(name);
        const std::optional<StoredEntry> stored =
            range ? readEntry(directory.filePath(name), *range) : std::optional<StoredEntry>();
        if (stored && !isCurrent(stored->stored, now)) {
            QFile::remove(directory.filePath(name));
        }
    }

    const QJsonObject object{
        {u"first"_s, formatDottedQuad(entry.range.first)},
        {u"last"_s, formatDottedQuad(entry.range.last)},
        {u"server"_s, entry.server},
        {u"abuse"_s, QJsonArray::fromStringList(entry.abuse)},
        {u"stored"_s, now.toSecsSinceEpoch()},
    };
    QSaveFile file(directory.filePath(fileName(entry.range)));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    return file.commit();
}
