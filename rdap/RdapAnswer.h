// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/RdapAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

/// What an RDAP answer (RFC 9083) to an IP network query says about abuse
/// contacts.
struct RdapAnswer
{
    /// Why the answer gives nothing: not JSON, not an object, an RDAP error
    /// object. Empty for a usable answer, also one that names no abuse contact.
    QString error;
    /// The e-mail addresses of every entity with the role "abuse", at any depth
    /// of nesting, in document order, each once.
    QStringList abuse;
    /// The "self" links of abuse entities that have no e-mail address, resolved
    /// against the answer's URL, each once. Nothing is checked about them here.
    QList<QUrl> abuseLinks;
    /// The network's "startAddress"-"endAddress", when both are usable IPv4
    /// addresses; `range6` when both are IPv6 addresses.
    std::optional<Ipv4Range> range;
    std::optional<Ipv6Range> range6;
};

/// Reads the answer `body` that came from `url`.
RdapAnswer parseRdapAnswer(const QByteArray& body, const QUrl& url);

/// Reads an entity fetched by its self link: the e-mail addresses of its own
/// vCard go into `abuse`.
RdapAnswer parseRdapEntity(const QByteArray& body);

/// An address worth writing to: exactly one "@", something on both sides, a dot
/// in the domain, no blanks and no control characters.
bool isUsableEmail(QStringView address);

/// Appends `address` unless the list holds it already, compared without regard
/// to case; the first spelling stays.
void appendOnce(QStringList& list, const QString& address);

/// Server-supplied text fit for a one-line reason: control characters and runs
/// of white space become one blank, and the text is cut to `limit` characters.
QString printableExcerpt(QStringView text, qsizetype limit = 100);
