// SPDX-License-Identifier: GPL-3.0-or-later
#include "resolve/ReverseLookup.h"

#include "common/Blanks.h"
#include "common/DottedQuad.h"

#include <algorithm>
#include <arpa/inet.h>
#include <optional>

using namespace Qt::StringLiterals;

ReverseLookupResult ResolveHostName(HostResolver& resolver, const QString& strAddress,
                                    const std::function<void()>& processPendingEvents)
{
    const QStringView trimmed = trimBlanks(strAddress);
    // inet_addr, like the platform call it stands for, also takes the short and
    // octal/hex forms; the all-ones value doubles as its failure mark.
    const in_addr_t address = ::inet_addr(trimmed.toLatin1().constData());
    if (address == INADDR_NONE) {
        return {};
    }
    if (processPendingEvents) {
        processPendingEvents();
    }
    return resolver.lookupAddress(address);
}

ReverseLookupResult ResolveAnyHostName(HostResolver& resolver, const QString& strAddress,
                                       const std::function<void()>& processPendingEvents)
{
    const std::optional<Ipv6Bytes> address = parseIpv6Literal(trimBlanks(strAddress));
    if (!address) {
        return ResolveHostName(resolver, strAddress, processPendingEvents);
    }
    // ::ffff:a.b.c.d goes the IPv4 way, all-ones refusal included.
    if (const std::optional<Ipv4> mapped = mappedIpv4(*address)) {
        const auto part = [&mapped](unsigned shift) { return QString::number((*mapped >> shift) & 0xffU); };
        const QString dotted = part(24) + u'.' + part(16) + u'.' + part(8) + u'.' + part(0);
        return ResolveHostName(resolver, dotted, processPendingEvents);
    }
    if (processPendingEvents) {
        processPendingEvents();
    }
    return resolver.lookupAddress6(*address);
}

QString StartupFailureMessage(int code)
{
    switch (code) {
    case 10022:
        return u"The Windows Sockets version specified by the application is not supported by this DLL."_s;
    case ResolverError::SubsystemNotReady:
        return u"The underlying network subsystem is not ready for network communication."_s;
    case 10092:
        return u"The version of Windows Sockets API support requested is not provided by this particular "
               u"Windows Sockets implementation."_s;
    default:
        return {};
    }
}
