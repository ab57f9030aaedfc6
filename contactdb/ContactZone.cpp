// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactdb/ContactZone.h"

#include "common/Blanks.h"
#include "common/DottedQuad.h"
#include "whois/AbuseHarvest.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// RFC 1035: 63 bytes a label, 253 the name written without its root dot.
constexpr qsizetype MaxLabelLength = 63;
constexpr qsizetype MaxNameLength = 253;

// No answer of a real database holds more; a hostile one is cut here.
constexpr qsizetype MaxAddresses = 16;

bool isLabelChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
}

// One token of a record without its wrapping: "<abuse@x.net>", "mailto:abuse@x.net".
QStringView unwrapped(QStringView token)
{
    static constexpr QStringView Wrapping = u"<>\"'()[]";
    while (!token.isEmpty() && Wrapping.contains(token.front())) {
        token = token.sliced(1);
    }
    while (!token.isEmpty() && Wrapping.contains(token.back())) {
        token.chop(1);
    }
    if (token.startsWith(u"mailto:", Qt::CaseInsensitive)) {
        token = token.sliced(7);
    }
    return token;
}

bool isWholeAddress(QStringView token)
{
    const qsizetype at = token.indexOf(u'@');
    if (at <= 0 || token.indexOf(u'@', at + 1) >= 0 || !std::all_of(token.begin(), token.end(), IsAddressChar)) {
        return false;
    }
    const QStringView domain = token.sliced(at + 1);
    return domain.contains(u'.') && !domain.startsWith(u'.') && !domain.endsWith(u'.') && !domain.contains(u"..");
}

} // namespace

bool isContactZoneName(QStringView zone)
{
    if (zone.endsWith(u'.')) {
        zone.chop(1);
    }
    if (zone.isEmpty() || zone.size() > MaxNameLength) {
        return false;
    }
    for (const QStringView label : zone.tokenize(u'.')) {
        if (label.isEmpty() || label.size() > MaxLabelLength || !std::all_of(label.begin(), label.end(), isLabelChar)) {
            return false;
        }
    }
    return true;
}

QByteArray contactQueryName(QStringView relay, QStringView zone)
{
    if (!isContactZoneName(zone)) {
        return {};
    }
    QByteArray labels;
    relay = trimBlanks(relay);
    if (const std::optional<Ipv4> address = parseIpv4(relay)) {
        labels = reversedLabels(*address);
    } else if (const std::optional<Ipv6Bytes> address6 = parseIpv6Literal(relay)) {
        const std::optional<Ipv4> mapped = mappedIpv4(*address6);
        labels = mapped ? reversedLabels(*mapped) : reversedLabels(*address6);
    } else {
        return {};
    }
    QByteArray name = labels + zone.toLatin1();
    if (name.endsWith('.')) {
        name.chop(1);
    }
    return name;
}

QStringList contactAddressesInTxt(const QList<QByteArray>& records)
{
    static constexpr QStringView Separators = u",; \t\r\n";
    QStringList found;
    for (const QByteArray& record : records) {
        // Addresses are ASCII; any other byte simply makes its token no address.
        const QString text = QString::fromLatin1(record);
        qsizetype from = 0;
        while (from < text.size() && found.size() < MaxAddresses) {
            qsizetype to = from;
            while (to < text.size() && !Separators.contains(text[to])) {
                ++to;
            }
            const QStringView address = unwrapped(QStringView(text).sliced(from, to - from));
            if (isWholeAddress(address) && !found.contains(address, Qt::CaseInsensitive)) {
                found.append(address.toString());
            }
            from = to + 1;
        }
    }
    return found;
}
