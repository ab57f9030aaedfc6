// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DottedQuad.h"

#include <QByteArray>
#include <QString>

#include <optional>

/// A range of addresses, first and last as 16 bytes, most significant first;
/// IPv4 addresses as IPv4-mapped IPv6 (::ffff:a.b.c.d), so that one byte
/// order compares both families.
struct NetworkRange
{
    Ipv6Bytes first{};
    Ipv6Bytes last{};

    bool contains(const Ipv6Bytes& address) const { return first <= address && address <= last; }
    friend bool operator==(const NetworkRange&, const NetworkRange&) = default;
};

/// A relay address in the 16-byte form of NetworkRange: a strict dotted quad
/// or an IPv6 literal; nothing for any other text.
std::optional<Ipv6Bytes> addressBytes(QStringView address);

/// The smallest network range a whois answer states that holds `address`:
/// "NetRange:" and "inetnum:" ranges ("a - b", or a prefix, in LACNIC's
/// short form "200.57.128/18" too), "CIDR:" lists and "inet6num:" prefixes.
/// Nothing when the answer states none that holds it; an IPv6 range never
/// holds an IPv4 address. Pure.
std::optional<NetworkRange> statedNetworkRange(const QString& answer, const Ipv6Bytes& address);
