// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapBootstrap.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

// The IANA file is a few kilobytes; anything this large is not one.
constexpr qint64 LargestFile = 1024 * 1024;

// The "n" of "address/n", a plain decimal from 0 to `longest`, or -1.
int prefixLengthOf(QStringView lengthText, int longest)
{
    bool ok = false;
    const int length = lengthText.toInt(&ok);
    return ok && length >= 0 && length <= longest && lengthText == QString::number(length) ? length : -1;
}

// "a.b.c.d/n" with a strict dotted quad and n from 0 to 32; host bits are cleared.
std::optional<RdapBootstrap::Entry> parsePrefix(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0) {
        return std::nullopt;
    }
    const std::optional<Ipv4> network = parseDottedQuad(text.first(slash));
    const int length = prefixLengthOf(text.sliced(slash + 1), 32);
    if (!network || length < 0) {
        return std::nullopt;
    }
    const Ipv4 mask = length == 0 ? 0 : ~Ipv4(0) << (32 - length);
    return RdapBootstrap::Entry{*network & mask, length, {}};
}

// "x:y::/n" with an IPv6 address and n from 0 to 128; host bits are cleared.
std::optional<RdapBootstrap::Entry6> parsePrefix6(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0) {
        return std::nullopt;
    }
    const std::optional<Ipv6> network = parseIpv6(text.first(slash));
    const int length = prefixLengthOf(text.sliced(slash + 1), 128);
    if (!network || length < 0) {
        return std::nullopt;
    }
    return RdapBootstrap::Entry6{maskIpv6(*network, length), length, {}};
}

// The first https URL of a service, else its first http URL on a loopback host.
QUrl chooseBase(const QJsonArray& urls)
{
    QUrl fallback;
    for (const auto& value : urls) {
        const QUrl url(value.toString(), QUrl::StrictMode);
        if (!url.isValid() || url.isRelative() || !isAcceptableScheme(url)) {
            continue;
        }
        if (url.scheme().compare("https"_L1, Qt::CaseInsensitive) == 0) {
            return url;
        }
        if (fallback.isEmpty()) {
            fallback = url;
        }
    }
    return fallback;
}

} // namespace

std::optional<RdapBootstrap> RdapBootstrap::parse(const QByteArray& json, QString* error, Family family)
{
    const auto fail = [error](const QString& reason) -> std::optional<RdapBootstrap> {
        if (error) {
            *error = reason;
        }
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return fail(u"not valid JSON (%1)"_s.arg(parseError.errorString()));
    }
    const QJsonArray services = document.object().value("services"_L1).toArray();
    RdapBootstrap bootstrap;
    for (const auto& service : services) {
        const QJsonArray parts = service.toArray();
        const QJsonArray prefixes = parts.at(0).toArray();
        const QUrl base = chooseBase(parts.at(1).toArray());
        for (const auto& prefix : prefixes) {
            if (family == Family::IPv6) {
                if (std::optional<Entry6> entry = parsePrefix6(prefix.toString())) {
                    entry->base = base;
                    bootstrap.m_entries6.append(*entry);
                }
            } else if (std::optional<Entry> entry = parsePrefix(prefix.toString())) {
                entry->base = base;
                bootstrap.m_entries.append(*entry);
            }
        }
    }
    if (bootstrap.m_entries.isEmpty() && bootstrap.m_entries6.isEmpty()) {
        return fail(u"not an RDAP bootstrap file for %1 (no address blocks)"_s.arg(family == Family::IPv6 ? u"IPv6"_s
                                                                                                          : u"IPv4"_s));
    }
    return bootstrap;
}

std::optional<RdapBootstrap> RdapBootstrap::load(const QString& fileName, QString* error, Family family)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return std::nullopt;
    }
    return parse(file.read(LargestFile), error, family);
}

const RdapBootstrap::Entry* RdapBootstrap::find(Ipv4 address) const
{
    const Entry* best = nullptr;
    for (const Entry& entry : m_entries) {
        const Ipv4 mask = entry.prefixLength == 0 ? 0 : ~Ipv4(0) << (32 - entry.prefixLength);
        if ((address & mask) == entry.network && (!best || entry.prefixLength > best->prefixLength)) {
            best = &entry;
        }
    }
    return best;
}

const RdapBootstrap::Entry6* RdapBootstrap::find(const Ipv6& address) const
{
    const Entry6* best = nullptr;
    for (const Entry6& entry : m_entries6) {
        if (maskIpv6(address, entry.prefixLength) == entry.network &&
            (!best || entry.prefixLength > best->prefixLength)) {
            best = &entry;
        }
    }
    return best;
}
