// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapAddress.h"

#include <QHostAddress>

#include <algorithm>
#include <arpa/inet.h>
#include <array>

using namespace Qt::StringLiterals;

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// "/n" with one to three digits at the end of `text`, which it cuts off; false
// when a slash is followed by anything else.
bool dropPrefixLength(QStringView& text, qsizetype longest)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0) {
        return true;
    }
    const QStringView length = text.sliced(slash + 1);
    if (length.isEmpty() || length.size() > longest ||
        !std::all_of(length.begin(), length.end(), [](QChar c) { return isAsciiDigit(c); })) {
        return false;
    }
    text = text.first(slash);
    return true;
}

} // namespace

std::optional<Ipv4> parseDottedQuad(QStringView text)
{
    return parseIpv4(text);
}

std::optional<Ipv4> parseAnswerAddress(QStringView text)
{
    if (!dropPrefixLength(text, 2)) {
        return std::nullopt;
    }
    return parseIpv4(text, LeadingZeros::Allowed);
}

std::optional<Ipv6> parseIpv6(QStringView text)
{
    const std::optional<Ipv6Bytes> bytes = parseIpv6Literal(text);
    if (!bytes) {
        return std::nullopt;
    }
    Ipv6 address;
    for (int at = 0; at < 8; ++at) {
        address.high = (address.high << 8) | (*bytes)[at];
        address.low = (address.low << 8) | (*bytes)[at + 8];
    }
    return address;
}

std::optional<Ipv6> parseAnswerAddress6(QStringView text)
{
    if (!dropPrefixLength(text, 3)) {
        return std::nullopt;
    }
    return parseIpv6(text);
}

QString formatIpv6(const Ipv6& address)
{
    std::array<unsigned char, 16> bytes{};
    for (int at = 0; at < 8; ++at) {
        bytes[at] = static_cast<unsigned char>(address.high >> (56 - 8 * at));
        bytes[at + 8] = static_cast<unsigned char>(address.low >> (56 - 8 * at));
    }
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (::inet_ntop(AF_INET6, bytes.data(), text.data(), text.size()) == nullptr) {
        return {};
    }
    return QString::fromLatin1(text.data());
}

Ipv6 maskIpv6(const Ipv6& address, int prefixLength)
{
    if (prefixLength <= 0) {
        return {};
    }
    if (prefixLength <= 64) {
        return {address.high & (~quint64(0) << (64 - prefixLength)), 0};
    }
    if (prefixLength >= 128) {
        return address;
    }
    return {address.high, address.low & (~quint64(0) << (128 - prefixLength))};
}

std::optional<Ipv4> mappedIpv4(const Ipv6& address)
{
    if (address.high != 0 || (address.low >> 32) != 0xffff) {
        return std::nullopt;
    }
    return Ipv4(address.low & 0xffffffff);
}

QString formatDottedQuad(Ipv4 address)
{
    return u"%1.%2.%3.%4"_s.arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

bool isLoopbackHost(const QUrl& url)
{
    const QHostAddress host(url.host());
    return !host.isNull() && host.isLoopback();
}

bool isAcceptableScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return !url.host().isEmpty() && (scheme == u"https"_s || (scheme == u"http"_s && isLoopbackHost(url)));
}

QString originOf(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    const int port = url.port(scheme == u"https"_s ? 443 : scheme == u"http"_s ? 80 : -1);
    return scheme + u"://"_s + url.host(QUrl::FullyEncoded).toLower() + u':' + QString::number(port);
}

QString serverName(const QUrl& url)
{
    // Only host and port: user information in a URL is nothing to show.
    QUrl bare = url;
    bare.setUserInfo(QString());
    return bare.authority();
}
