// SPDX-License-Identifier: GPL-3.0-or-later
#include "whois/WhoisSettings.h"

#include "common/SettingsFile.h"
#include "whois/RegistryTable.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// The margin below a published daily limit: a journal that missed a lookup
// (a crash between asking and recording) must not push the client over it.
constexpr qint64 RipeDailyLimit = 1000;
constexpr qint64 BelowRipe = RipeDailyLimit - 100;

// The table's own spelling of a registry name, or empty when `name` names none.
QString registryNamed(QStringView name)
{
    for (const WhoisRegistry& registry : RegistryTable()) {
        if (name.compare(registry.RegistryName, Qt::CaseInsensitive) == 0) {
            return registry.RegistryName.toString();
        }
    }
    return {};
}

QString registryNames()
{
    QStringList names;
    for (const WhoisRegistry& registry : RegistryTable()) {
        names.append(registry.RegistryName.toString());
    }
    return names.join(u", ");
}

// ASCII digits only: toLongLong alone would take a sign and blanks.
std::optional<qint64> parseCount(QStringView text)
{
    if (text.isEmpty()) {
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qint64 count = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(count) : std::nullopt;
}

} // namespace

DailyLimits defaultDailyLimits()
{
    // A registry that publishes no daily limit gets none (0): a made-up one
    // would stop batches for nothing, ARIN's above all, which every trace asks.
    return {
        // No query limit in ARIN's Whois Terms of Use (arin.net, 9 April 2014).
        {u"ARIN"_s, 0},
        // RIPE Database Acceptable Use Policy: 1,000 queries returning personal data a day, then a ban.
        {u"RIPE"_s, BelowRipe},
        // LACNIC publishes only a rate per minute (10 RDAP queries a minute in its RDAP notices), no daily figure.
        {u"LACNIC"_s, 0},
        // No published limit found for whois.aunic.net.
        {u"AUNIC"_s, 0},
        // APNIC's whois acceptable use terms limit bulk use but give no query count.
        {u"APNIC"_s, 0},
        // No published limit found for KISA's whois (whois.kisa.or.kr).
        {u"KRNIC"_s, 0},
        // No published limit found for NIC.br's whois (registro.br).
        {u"NIC.BR"_s, 0},
    };
}

std::optional<DailyLimits> parseDailyLimits(const QString& value, const DailyLimits& defaults, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    DailyLimits limits = defaults;
    if (value.trimmed().isEmpty()) {
        return limits;
    }
    QStringList named;
    for (const QStringView raw : QStringView(value).split(u',')) {
        const QStringView item = raw.trimmed();
        const QString quoted = u"\"%1\""_s.arg(item);
        if (item.isEmpty()) {
            return fail(u"an empty item"_s);
        }
        const qsizetype equals = item.indexOf(u'=');
        if (equals < 0) {
            return fail(u"%1: no \"=\" between the registry and its limit"_s.arg(quoted));
        }
        const QStringView name = item.left(equals).trimmed();
        const QStringView count = item.mid(equals + 1).trimmed();
        const QString registry = registryNamed(name);
        if (registry.isEmpty()) {
            return fail(u"%1: \"%2\" is not a registry of the whois table (%3)"_s.arg(quoted, name, registryNames()));
        }
        if (named.contains(registry)) {
            return fail(u"%1: %2 is named twice"_s.arg(quoted, registry));
        }
        const std::optional<qint64> limit = parseCount(count);
        if (!limit) {
            return fail(u"%1: \"%2\" is not a whole number of 0 or more"_s.arg(quoted, count));
        }
        named.append(registry);
        limits.insert(registry, *limit);
    }
    return limits;
}

WhoisSettings readWhoisSettings(const QString& path)
{
    WhoisSettings settings;
    const SettingsText text = readSettingsFile(path);
    if (!text.error.isEmpty()) {
        settings.error = text.error;
        return settings;
    }
    const auto failure = [&path](const QString& key, const QString& why) {
        WhoisSettings defaults;
        defaults.error = u"%1: [whois] %2: %3"_s.arg(path, key, why);
        return defaults;
    };
    for (const SettingsEntry& entry : text.entries) {
        if (entry.section != u"whois") {
            continue;
        }
        if (entry.key == u"daily_limit") {
            QString why;
            const std::optional<DailyLimits> limits = parseDailyLimits(entry.value, defaultDailyLimits(), &why);
            if (!limits) {
                return failure(entry.key, why);
            }
            settings.dailyLimits = *limits;
        } else if (entry.key == u"cache_hours") {
            const std::optional<qint64> hours = parseCount(entry.value);
            if (!hours || *hours > MaxCacheHours) {
                return failure(entry.key, u"\"%1\" is not a whole number of hours from 0 to %2"_s.arg(
                                              entry.value, QString::number(MaxCacheHours)));
            }
            settings.cacheHours = static_cast<int>(*hours);
        }
    }
    return settings;
}
