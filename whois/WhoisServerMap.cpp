// SPDX-License-Identifier: GPL-3.0-or-later
#include "whois/WhoisServerMap.h"

#include "common/CaseMapping.h"

#include <QHostAddress>

using namespace Qt::StringLiterals;

namespace {

std::optional<WhoisEndpoint> parseEndpoint(QStringView text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) {
        return std::nullopt;
    }
    QStringView address = text.first(colon);
    if (address.startsWith(u'[') && address.endsWith(u']')) {
        address = address.sliced(1, address.size() - 2);
    }
    bool ok = false;
    const uint port = text.sliced(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || address.isEmpty()) {
        return std::nullopt;
    }
    if (address.contains(u':') && QHostAddress(address.toString()).isNull()) {
        return std::nullopt;
    }
    return WhoisEndpoint{address.toString(), static_cast<quint16>(port)};
}

} // namespace

std::optional<WhoisServerMap> WhoisServerMap::parse(QStringView text, QString* error)
{
    WhoisServerMap map;
    for (const QStringView entry : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringView trimmed = entry.trimmed();
        const qsizetype equals = trimmed.indexOf(u'=');
        const std::optional<WhoisEndpoint> endpoint =
            equals > 0 ? parseEndpoint(trimmed.sliced(equals + 1)) : std::nullopt;
        if (!endpoint) {
            if (error != nullptr) {
                *error = u"\"%1\" is not of the form HOSTNAME=ADDRESS:PORT"_s.arg(trimmed);
            }
            return std::nullopt;
        }
        map.m_endpoints.insert(toUpperOneForOne(trimmed.first(equals).trimmed()), *endpoint);
    }
    return map;
}

std::optional<WhoisServerMap> WhoisServerMap::fromEnvironment(QString* error)
{
    return parse(qEnvironmentVariable("ZELKOR_WHOIS_SERVERS"), error);
}

WhoisEndpoint WhoisServerMap::endpointFor(const QString& hostName, quint16 defaultPort) const
{
    return m_endpoints.value(toUpperOneForOne(hostName), WhoisEndpoint{hostName, defaultPort});
}
