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

} // namespace

std::optional<Ipv4> parseDottedQuad(QStringView text)
{
    return parseIpv4(text);
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
    return parseIpv4(text, LeadingZeros::Allowed);
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
