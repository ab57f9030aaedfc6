// SPDX-License-Identifier: GPL-3.0-or-later
#include "whois/NetworkRange.h"

#include "common/Blanks.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// A dotted quad as the registries write them, leading zeros and all; with
// `shortForm` fewer than four parts are padded with zeros ("200.57.128").
std::optional<Ipv6Bytes> rangeAddress(QStringView text, bool shortForm)
{
    if (const std::optional<Ipv6Bytes> six = parseIpv6Literal(text)) {
        return six;
    }
    QString quad = text.toString();
    if (shortForm && !quad.isEmpty()) {
        for (qsizetype parts = quad.count(u'.') + 1; parts < 4; ++parts) {
            quad += u".0"_s;
        }
    }
    const std::optional<Ipv4> four = parseIpv4(quad, LeadingZeros::Allowed);
    return four ? std::optional(ipv4Mapped(*four)) : std::nullopt;
}

std::optional<NetworkRange> prefixRange(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0) {
        return std::nullopt;
    }
    const std::optional<Ipv6Bytes> base = rangeAddress(trimBlanks(text.left(slash)), true);
    bool ok = false;
    const int length = trimBlanks(text.mid(slash + 1)).toInt(&ok);
    const bool four = base && mappedIpv4(*base).has_value();
    const int bits = four ? length + 96 : length;
    if (!base || !ok || length < 0 || bits > 128 || (four && length > 32)) {
        return std::nullopt;
    }
    NetworkRange range{*base, *base};
    for (int bit = bits; bit < 128; ++bit) {
        const auto byte = static_cast<std::size_t>(bit / 8);
        const auto mask = static_cast<quint8>(0x80U >> static_cast<unsigned>(bit % 8));
        range.first[byte] &= static_cast<quint8>(~mask);
        range.last[byte] |= mask;
    }
    return range;
}

std::optional<NetworkRange> spanRange(QStringView text)
{
    const qsizetype dash = text.indexOf(u'-');
    if (dash < 0) {
        return prefixRange(text);
    }
    const std::optional<Ipv6Bytes> first = rangeAddress(trimBlanks(text.left(dash)), false);
    const std::optional<Ipv6Bytes> last = rangeAddress(trimBlanks(text.mid(dash + 1)), false);
    if (!first || !last || *last < *first || mappedIpv4(*first).has_value() != mappedIpv4(*last).has_value()) {
        return std::nullopt;
    }
    return NetworkRange{*first, *last};
}

// The ranges one line states: nothing unless it is one of the range keys.
QList<NetworkRange> lineRanges(QStringView line)
{
    if (line.endsWith(u'\r')) {
        line.chop(1);
    }
    const qsizetype colon = line.indexOf(u':');
    if (colon <= 0) {
        return {};
    }
    const QString key = trimBlanks(line.left(colon)).toString().toLower();
    const QStringView value = trimBlanks(line.mid(colon + 1));
    QList<NetworkRange> ranges;
    if (key == u"netrange" || key == u"inetnum" || key == u"inet6num") {
        if (const std::optional<NetworkRange> range = spanRange(value)) {
            ranges.append(*range);
        }
    } else if (key == u"cidr") {
        for (const QStringView part : value.split(u',')) {
            if (const std::optional<NetworkRange> range = prefixRange(trimBlanks(part))) {
                ranges.append(*range);
            }
        }
    }
    return ranges;
}

// Which of two ranges holds fewer addresses, by comparing last - first.
bool smaller(const NetworkRange& a, const NetworkRange& b)
{
    const auto span = [](const NetworkRange& range) {
        Ipv6Bytes difference{};
        int borrow = 0;
        for (std::size_t i = 16; i-- > 0;) {
            int byte = int(range.last[i]) - int(range.first[i]) - borrow;
            borrow = byte < 0 ? 1 : 0;
            difference[i] = static_cast<quint8>(byte + 256 * borrow);
        }
        return difference;
    };
    return span(a) < span(b);
}

} // namespace

std::optional<Ipv6Bytes> addressBytes(QStringView address)
{
    const QStringView text = trimBlanks(address);
    if (const std::optional<Ipv4> four = parseIpv4(text)) {
        return ipv4Mapped(*four);
    }
    return parseIpv6Literal(text);
}

std::optional<NetworkRange> statedNetworkRange(const QString& answer, const Ipv6Bytes& address)
{
    std::optional<NetworkRange> best;
    for (const QStringView line : QStringView(answer).split(u'\n')) {
        for (const NetworkRange& range : lineRanges(line)) {
            // An IPv6 range such as ::/0 spans the IPv4-mapped addresses too,
            // but says nothing about IPv4 networks.
            const bool sameFamily = mappedIpv4(range.first).has_value() == mappedIpv4(address).has_value();
            if (sameFamily && range.contains(address) && (!best || smaller(range, *best))) {
                best = range;
            }
        }
    }
    return best;
}
