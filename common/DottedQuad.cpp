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

namespace {

constexpr std::array<quint8, 12> MappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

} // namespace

Ipv6Bytes ipv4Mapped(Ipv4 address)
{
    Ipv6Bytes bytes{};
    std::copy(MappedPrefix.begin(), MappedPrefix.end(), bytes.begin());
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[12 + i] = static_cast<quint8>(address >> (24 - 8 * i));
    }
    return bytes;
}

std::optional<Ipv4> mappedIpv4(const Ipv6Bytes& address)
{
    if (!std::equal(MappedPrefix.begin(), MappedPrefix.end(), address.begin())) {
        return std::nullopt;
    }
    return (Ipv4{address[12]} << 24U) | (Ipv4{address[13]} << 16U) | (Ipv4{address[14]} << 8U) | Ipv4{address[15]};
}

QByteArray reversedLabels(Ipv4 address)
{
    QByteArray labels;
    for (unsigned shift = 0; shift < 32; shift += 8) {
        labels += QByteArray::number((address >> shift) & 0xffU);
        labels += '.';
    }
    return labels;
}

QByteArray reversedLabels(const Ipv6Bytes& address)
{
    static constexpr char Digits[] = "0123456789abcdef";
    QByteArray labels;
    labels.reserve(32 * 2);
    for (auto byte = address.rbegin(); byte != address.rend(); ++byte) {
        labels += Digits[*byte & 0x0fU];
        labels += '.';
        labels += Digits[*byte >> 4U];
        labels += '.';
    }
    return labels;
}
