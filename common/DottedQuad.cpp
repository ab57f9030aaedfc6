// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DottedQuad.h"

#include <QByteArray>

#include <algorithm>
#include <arpa/inet.h>

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The longest IPv6 text: eight groups of four digits ending in a dotted quad.
constexpr qsizetype LongestIpv6Text = 45;

bool isIpv6TextCharacter(QChar c)
{
    return isAsciiDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' || c == u'.';
}

} // namespace

std::optional<Ipv4> parseIpv4(QStringView text, LeadingZeros zeros)
{
    Ipv4 address = 0;
    qsizetype at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != u'.') {
                return std::nullopt;
            }
            ++at;
        }
        const qsizetype start = at;
        int value = 0;
        while (at < text.size() && isAsciiDigit(text[at]) && at - start < 3) {
            value = value * 10 + (text[at].unicode() - u'0');
            ++at;
        }
        const qsizetype digits = at - start;
        if (digits == 0 || value > 255 || (at < text.size() && isAsciiDigit(text[at]))) {
            return std::nullopt;
        }
        if (zeros == LeadingZeros::Refused && digits > 1 && text[start] == u'0') {
            return std::nullopt;
        }
        address = (address << 8) | Ipv4(value);
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return address;
}

std::optional<Ipv6Bytes> parseIpv6Literal(QStringView text)
{
    if (text.size() > LongestIpv6Text || !text.contains(u':') ||
        !std::all_of(text.begin(), text.end(), isIpv6TextCharacter)) {
        return std::nullopt;
    }
    Ipv6Bytes bytes{};
    if (::inet_pton(AF_INET6, text.toLatin1().constData(), bytes.data()) != 1) {
        return std::nullopt;
    }
    return bytes;
}
