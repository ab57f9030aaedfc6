// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DottedQuad.h"

#include <QString>
#include <QStringView>
#include <QUrl>

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
