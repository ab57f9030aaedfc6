// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

/// The outcome of one RDAP lookup of a relay address.
struct RdapResult
{
    /// The relay text as asked.
    QString address;
    /// The base URL asked, e.g. "https://rdap.arin.net/registry/"; for an answer
    /// from the cache the base URL that gave it. Empty when no server was chosen
    /// (not an IPv4 or IPv6 address, no bootstrap entry).
    QString server;
    /// The abuse e-mail addresses found, as published (case kept), in document
    /// order, each once.
    QStringList abuse;
    /// Empty, or a one-line reason a person understands: why nothing was asked,
    /// or what failed.
    QString error;
    /// The server refused for asking too often (HTTP 429), now or earlier in
    /// this run.
    bool refused = false;
};

Q_DECLARE_METATYPE(RdapResult)
