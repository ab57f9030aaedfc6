// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <optional>

/// An IPv4 address as a number, most significant octet first.
using Ipv4 = quint32;

/// Whether a number of a dotted quad may start with 0 when it is not 0.
enum class LeadingZeros
{
    Refused, ///< the strict decimal form (RFC 3986 dec-octet)
    Allowed, ///< as some registries write their ranges: "093.192.000.000"
};

/// Four dot-separated numbers of 1-3 ASCII digits, each at most 255, and
/// nothing else (no blanks, no suffix, no short or hex forms).
std::optional<Ipv4> parseIpv4(QStringView text, LeadingZeros zeros = LeadingZeros::Refused);

/// An IPv6 address as its 16 bytes, most significant first (as in `in6_addr`).
using Ipv6Bytes = std::array<quint8, 16>;

/// An IPv6 literal ("2001:db8::1", "::ffff:192.0.2.1"): only hex digits, colons
/// and dots, so that a zone index, a blank or a NUL inside the text can never
/// be cut off and the rest taken for the address.
std::optional<Ipv6Bytes> parseIpv6Literal(QStringView text);

/// The IPv4 address an IPv4-mapped IPv6 address (::ffff:a.b.c.d) holds.
std::optional<Ipv4> mappedIpv4(const Ipv6Bytes& address);
/// The IPv4-mapped IPv6 form of an IPv4 address (::ffff:a.b.c.d); the inverse of mappedIpv4.
Ipv6Bytes ipv4Mapped(Ipv4 address);

/// The labels of an address's name in a reverse zone, each followed by its
/// dot: the octets last first for IPv4 ("4.3.2.1." for 1.2.3.4), the 32 hex
/// digits least significant first for IPv6 (RFC 3596).
QByteArray reversedLabels(Ipv4 address);
QByteArray reversedLabels(const Ipv6Bytes& address);
