// SPDX-License-Identifier: GPL-3.0-or-later
#include "trust/RelayTrust.h"

#include <QStringTokenizer>

#include <array>

using namespace Qt::StringLiterals;

namespace {

struct Range
{
    const char* network;
    int prefix;
};

constexpr std::array PrivateRanges{
    Range{"0.0.0.0", 8},       Range{"10.0.0.0", 8},     Range{"100.64.0.0", 10}, Range{"127.0.0.0", 8},
    Range{"169.254.0.0", 16},  Range{"172.16.0.0", 12},  Range{"192.0.2.0", 24},  Range{"192.168.0.0", 16},
    Range{"198.51.100.0", 24}, Range{"203.0.113.0", 24}, Range{"::1", 128},       Range{"fe80::", 10},
    Range{"fc00::", 7},        Range{"2001:db8::", 32},
};

QString withoutDots(QStringView name)
{
    QStringView trimmed = name.trimmed();
    while (trimmed.startsWith(u'.')) {
        trimmed = trimmed.sliced(1);
    }
    while (trimmed.endsWith(u'.')) {
        trimmed.chop(1);
    }
    return trimmed.toString().toLower();
}

bool isHostNameSuffix(QStringView name)
{
    if (name.isEmpty() || name.startsWith(u'-') || name.contains(u".."_s)) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    });
}

// An IPv4 address written in IPv6 (::ffff:a.b.c.d) is that IPv4 address.
QHostAddress plainAddress(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped && address.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress(ipv4) : address;
}

// A range written in IPv4-mapped form is the IPv4 range.
QPair<QHostAddress, int> plainRange(const QHostAddress& network, int prefix)
{
    const QHostAddress plain = plainAddress(network);
    const bool unmapped = plain.protocol() != network.protocol();
    return {plain, unmapped ? std::max(0, prefix - 96) : prefix};
}

bool isFetch(const ReceivedHop& hop)
{
    const QString with = hop.with.toUpper();
    const QString by = withoutDots(hop.by);
    return with.startsWith(u"POP"_s) || with.startsWith(u"IMAP"_s) || by == u"localhost" ||
           by == u"localhost.localdomain";
}

} // namespace

bool MailHosts::containsAddress(const QHostAddress& address) const
{
    const QHostAddress plain = plainAddress(address);
    return std::any_of(ranges.cbegin(), ranges.cend(),
                       [&](const QPair<QHostAddress, int>& range) { return plain.isInSubnet(range); });
}

bool MailHosts::containsName(QStringView hostName) const
{
    const QString name = withoutDots(hostName);
    return !name.isEmpty() && std::any_of(suffixes.cbegin(), suffixes.cend(), [&](const QString& suffix) {
        return name == suffix || name.endsWith(u'.' + suffix);
    });
}

std::optional<MailHosts> parseMailHosts(QStringView text, QString* error)
{
    MailHosts hosts;
    for (const QStringView entry : QStringTokenizer(text, u',')) {
        const QStringView trimmed = entry.trimmed();
        if (trimmed.isEmpty()) {
            continue;
        }
        const QString written = trimmed.toString();
        if (const QPair<QHostAddress, int> range = QHostAddress::parseSubnet(written); !range.first.isNull()) {
            hosts.ranges.append(plainRange(range.first, range.second));
            continue;
        }
        if (const QHostAddress single(written); !single.isNull()) {
            hosts.ranges.append(plainRange(single, single.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128));
            continue;
        }
        const QString suffix = withoutDots(trimmed);
        if (!isHostNameSuffix(suffix)) {
            if (error != nullptr) {
                *error = u"\"%1\" is neither an address range nor a host name"_s.arg(written);
            }
            return std::nullopt;
        }
        hosts.suffixes.append(suffix);
    }
    return hosts;
}

bool isPrivateAddress(const QHostAddress& address)
{
    const QHostAddress plain = plainAddress(address);
    return std::any_of(PrivateRanges.cbegin(), PrivateRanges.cend(), [&](const Range& range) {
        return plain.isInSubnet(QHostAddress(QString::fromLatin1(range.network)), range.prefix);
    });
}

QList<HopTrust> ClassifyHops(const QList<ReceivedHop>& hops, const MailHosts& mailHosts,
                             const RegisteredDomainOf& registeredDomain)
{
    // The topmost line is written by the recipient's final server.
    const QString finalDomain = hops.isEmpty() ? QString() : registeredDomain(withoutDots(hops.first().by));
    const auto ownName = [&](const ReceivedHop& hop) {
        if (!hop.reverseVerified || hop.reverseName.isEmpty()) {
            return false;
        }
        if (!mailHosts.isEmpty()) {
            return mailHosts.containsName(hop.reverseName);
        }
        return !finalDomain.isEmpty() && registeredDomain(withoutDots(hop.reverseName)) == finalDomain;
    };

    QList<HopTrust> classes;
    classes.reserve(hops.size());
    bool sourceFound = false;
    // Whether the server that wrote the current line is known to be the
    // provider's: the final server for the topmost line, then the host of the
    // hop above while that one was own or private.
    bool writtenByOwn = true;
    for (const ReceivedHop& hop : hops) {
        if (sourceFound) {
            classes.append(HopTrust::Beyond);
            continue;
        }
        const QHostAddress address(hop.address);
        HopTrust trust = HopTrust::Source;
        if (isPrivateAddress(address)) {
            trust = HopTrust::Private;
        } else if (mailHosts.containsAddress(address) || (writtenByOwn && (isFetch(hop) || ownName(hop)))) {
            trust = HopTrust::Own;
        }
        sourceFound = trust == HopTrust::Source;
        writtenByOwn = !sourceFound;
        classes.append(trust);
    }
    return classes;
}

QString describeHopTrust(HopTrust trust)
{
    switch (trust) {
    case HopTrust::Own:
        return u"your provider"_s;
    case HopTrust::Private:
        return u"private network"_s;
    case HopTrust::Source:
        return u"handed the spam to your provider"_s;
    case HopTrust::Beyond:
        return u"may be forged"_s;
    }
    return {};
}

QString hopTrustName(HopTrust trust)
{
    switch (trust) {
    case HopTrust::Own:
        return u"own"_s;
    case HopTrust::Private:
        return u"private"_s;
    case HopTrust::Source:
        return u"source"_s;
    case HopTrust::Beyond:
        return u"beyond"_s;
    }
    return {};
}
