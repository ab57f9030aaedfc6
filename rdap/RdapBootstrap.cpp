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

// "a.b.c.d/n" with a strict dotted quad and n from 0 to 32; host bits are cleared.
std::optional<RdapBootstrap::Entry> parsePrefix(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0) {
        return std::nullopt;
    }
    const std::optional<Ipv4> network = parseDottedQuad(text.first(slash));
    const QStringView lengthText = text.sliced(slash + 1);
    bool ok = false;
    const int length = lengthText.toInt(&ok);
    if (!network || !ok || length < 0 || length > 32 || lengthText != QString::number(length)) {
        return std::nullopt;
    }
    const Ipv4 mask = length == 0 ? 0 : ~Ipv4(0) << (32 - length);
    return RdapBootstrap::Entry{*network & mask, length, {}};
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

std::optional<RdapBootstrap> RdapBootstrap::parse(const QByteArray& json, QString* error)
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
            if (std::optional<Entry> entry = parsePrefix(prefix.toString())) {
                entry->base = base;
                bootstrap.m_entries.append(*entry);
            }
        }
    }
    if (bootstrap.m_entries.isEmpty()) {
        return fail(u"not an RDAP bootstrap file for IPv4 (no address blocks)"_s);
    }
    return bootstrap;
}

std::optional<RdapBootstrap> RdapBootstrap::load(const QString& fileName, QString* error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return std::nullopt;
    }
    return parse(file.read(LargestFile), error);
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
