// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "header/ReceivedChain.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

/// What a hop of the `Received` chain is to the recipient.
enum class HopTrust
{
    Own,     ///< the recipient's own provider (or their mail fetcher)
    Private, ///< an address no one outside a private network can send from
    Source,  ///< the first hop from outside: it handed the spam to the provider
    Beyond,  ///< older than the source: written by the spam's own path, may be forged
};

/// The hops a user names as their own provider's: address ranges (a bare
/// address is a range of one) and host-name suffixes.
struct MailHosts
{
    QList<QPair<QHostAddress, int>> ranges;
    QStringList suffixes; ///< lower case, without leading or trailing dots

    bool isEmpty() const { return ranges.isEmpty() && suffixes.isEmpty(); }
    bool containsAddress(const QHostAddress& address) const;
    bool containsName(QStringView hostName) const;
};

/// Reads a comma list of CIDR ranges (IPv4 or IPv6), bare addresses and
/// host-name suffixes; `error` says which entry is unusable.
std::optional<MailHosts> parseMailHosts(QStringView text, QString* error = nullptr);

/// Loopback, private, shared, link-local, "this network" and documentation
/// ranges of IPv4 and IPv6, and the IPv4-mapped forms of the IPv4 ones.
bool isPrivateAddress(const QHostAddress& address);

/// The registered domain of a host name ("example.co.uk" for
/// "mx.example.co.uk"), or empty text when the name has none.
using RegisteredDomainOf = std::function<QString(QStringView hostName)>;

/// The class of every hop, in the order given (newest first). Walking down from
/// the top, hops are own or private until the first that is neither, which is
/// the source; every older hop is beyond. A hop is own when its address lies in
/// a mail host range, when the mail was fetched from the provider (POP3, IMAP,
/// or written by localhost), or when its reverse name, vouched for by a server
/// already known to be own, is under a mail host suffix; with no mail hosts,
/// when that name has the registered domain of the topmost `by` host. A HELO
/// name is never evidence, since the sender chooses it.
QList<HopTrust> ClassifyHops(const QList<ReceivedHop>& hops, const MailHosts& mailHosts,
                             const RegisteredDomainOf& registeredDomain);

/// The class in words a user understands, for tool tips.
QString describeHopTrust(HopTrust trust);

/// The class as one word, for the report's JSON: "own", "private", "source", "beyond".
QString hopTrustName(HopTrust trust);
