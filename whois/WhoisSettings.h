// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>

#include <optional>

/// Lookups a registry allows per client in any 24 hours, by registry name ("RIPE"); 0 or missing: no limit.
using DailyLimits = QMap<QString, qint64>;

/// The limits kept when the settings name none: a margin below what the
/// registry publishes, and no limit (0) where a registry publishes none.
DailyLimits defaultDailyLimits();

/// Pure: reads a daily_limit= value over `defaults`; std::nullopt and *error set on a bad item.
///
/// The value is a comma list of REGISTRY=N over the names of the whois
/// registry table, in any letter case, with blanks around items and "=".
/// N is a whole number of 0 or more (0: no limit). Registries not named keep
/// their limit of `defaults`; an empty value gives `defaults`. An unknown
/// registry, a missing "=", a limit that is not such a number, an empty item
/// or a registry named twice is an error naming the item.
std::optional<DailyLimits> parseDailyLimits(const QString& value, const DailyLimits& defaults, QString* error);

/// The longest answer cache cache_hours= accepts: 30 days. Registry data
/// changes (networks are reassigned, abuse contacts replaced), so an answer
/// older than that is more likely wrong than useful; a larger value is an error
/// rather than silently cut, so the user learns the setting does not hold.
inline constexpr int MaxCacheHours = 24 * 30;

/// The [whois] section of the settings file.
struct WhoisSettings
{
    DailyLimits dailyLimits = defaultDailyLimits();
    /// How long a whois answer may be reused from the journal; 0: not at all.
    int cacheHours = 0;
    /// Empty, or why the section could not be read (the defaults apply then).
    QString error;
};

/// Reads [whois] from the settings file at `path`; a missing file or section
/// gives the defaults, and so does a bad value (with `error` naming the file,
/// the section and the key).
WhoisSettings readWhoisSettings(const QString& path);
