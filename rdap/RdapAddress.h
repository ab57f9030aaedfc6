// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DottedQuad.h"

#include <QString>
#include <QStringView>
#include <QUrl>

#include <compare>
#include <optional>

/// A strict decimal dotted quad: four numbers 0-255 without leading zeros,
/// separated by single dots, and nothing else (no blanks, no suffix). Only such
/// a text is ever put into a query.
std::optional<Ipv4> parseDottedQuad(QStringView text);

/// An address as registries write it in their answers: leading zeros allowed
/// ("093.192.000.000") and a "/n" suffix ignored ("93.192.0.0/32").
std::optional<Ipv4> parseAnswerAddress(QStringView text);

QString formatDottedQuad(Ipv4 address);

/// A block of addresses, both ends included.
struct Ipv4Range
{
    Ipv4 first = 0;
    Ipv4 last = 0;

    bool contains(Ipv4 address) const { return first <= address && address <= last; }
    quint64 size() const { return quint64(last) - first + 1; }
    friend bool operator==(const Ipv4Range&, const Ipv4Range&) = default;
};

/// An IPv6 address as a number in two halves, most significant first; ordered
/// as numbers are.
struct Ipv6
{
    quint64 high = 0;
    quint64 low = 0;

    friend auto operator<=>(const Ipv6&, const Ipv6&) = default;
};

/// An IPv6 address in the text forms of RFC 4291 ("2001:db8::25",
/// "2001:DB8:0:0:0:0:0:25", "::ffff:192.0.2.1") and nothing else: no zone
/// index, brackets, blanks or prefix length.
std::optional<Ipv6> parseIpv6(QStringView text);

/// An IPv6 address as registries write it in their answers: a "/n" suffix ignored.
std::optional<Ipv6> parseAnswerAddress6(QStringView text);

/// The form of RFC 5952 ("2001:db8::25"): the one put into a query.
QString formatIpv6(const Ipv6& address);

/// The address with every bit after the first `prefixLength` (0-128) cleared.
Ipv6 maskIpv6(const Ipv6& address, int prefixLength);

/// The IPv4 address an IPv4-mapped IPv6 address (::ffff:a.b.c.d) stands for.
std::optional<Ipv4> mappedIpv4(const Ipv6& address);

/// A block of IPv6 addresses, both ends included.
struct Ipv6Range
{
    Ipv6 first;
    Ipv6 last;

    bool contains(const Ipv6& address) const { return first <= address && address <= last; }
    /// The number of addresses less one (which cannot overflow): orders blocks by size.
    Ipv6 span() const { return {last.high - first.high - (last.low < first.low ? 1 : 0), last.low - first.low}; }
    friend bool operator==(const Ipv6Range&, const Ipv6Range&) = default;
};

/// True when the URL's host is a loopback address literal (127.0.0.0/8, ::1):
/// the only hosts that may be reached over plain http.
bool isLoopbackHost(const QUrl& url);

/// True for https, and for http to a loopback host.
bool isAcceptableScheme(const QUrl& url);

/// "scheme://host:port" with the scheme's default port filled in: what makes two
/// URLs the same server.
QString originOf(const QUrl& url);

/// The host as a reason names it: "rdap.example", or "127.0.0.1:8080" when a
/// port is given.
QString serverName(const QUrl& url);
