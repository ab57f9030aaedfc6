// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapAddress.h"

#include <QHostAddress>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Four dot-separated numbers of 1-3 ASCII digits, each at most 255; with
// `leadingZeros` false a number may start with 0 only when it is 0.
std::optional<Ipv4> parseQuad(QStringView text, bool leadingZeros)
{
    Ipv4 address = 0;
    int parts = 0;
    qsizetype at = 0;
    while (parts < 4) {
        if (parts > 0) {
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
        if (!leadingZeros && digits > 1 && text[start] == u'0') {
            return std::nullopt;
        }
        address = (address << 8) | Ipv4(value);
        ++parts;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return address;
}

} // namespace

std::optional<Ipv4> parseDottedQuad(QStringView text)
{
    return parseQuad(text, false);
}

std::optional<Ipv4> parseAnswerAddress(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash >= 0) {
        const QStringView length = text.sliced(slash + 1);
        if (length.isEmpty() || length.size() > 2 ||
            !std::all_of(length.begin(), length.end(), [](QChar c) { return isAsciiDigit(c); })) {
            return std::nullopt;
        }
        text = text.first(slash);
    }
    return parseQuad(text, true);
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
