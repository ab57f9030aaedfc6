// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <array>

/// Identifies one regional internet registry.
using RegistryId = qint16;

namespace Registry {
inline constexpr RegistryId ARIN = 1;
inline constexpr RegistryId RIPE = 2;
inline constexpr RegistryId LACNIC = 3;
inline constexpr RegistryId AUNIC = 4;
inline constexpr RegistryId APNIC = 5;
inline constexpr RegistryId KRNIC = 6;
inline constexpr RegistryId NICBR = 7;
} // namespace Registry

/// One row of the registry table.
struct WhoisRegistry
{
    RegistryId id;
    /// Forms the server host name, names the registry while its answer arrives,
    /// and keeps the registries' own addresses out of the abuse list.
    QStringView RegistryName;
    /// Text whose early appearance in an answer refers the query to this registry.
    /// ARIN's is a placeholder: nothing ever refers to ARIN.
    QStringView ReferralMarker;
    /// Starts the status line of a socket error on this registry's connection.
    QStringView errorPrefix;
};

inline constexpr QStringView WhoisHostPrefix = u"WHOIS.";
inline constexpr QStringView WhoisHostSuffix = u".NET";
inline constexpr quint16 WhoisPort = 43;

/// The seven registries, in id order (ARIN first).
const std::array<WhoisRegistry, 7>& RegistryTable();

/// The registry with this id, or nullptr for an id that names none.
const WhoisRegistry* FindRegistry(RegistryId id);

/// The whois server host of a registry: prefix, name and suffix, joined.
QString WhoisServerHost(const WhoisRegistry& registry);
