// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DottedQuad.h"

#include <QString>
#include <QtGlobal>

/// Failure numbers of a reverse lookup, as Windows Sockets numbers them; users
/// and the tool's older documentation know them by these numbers.
namespace ResolverError {
inline constexpr int None = 0;
inline constexpr int HostNotFound = 11001;
inline constexpr int TryAgain = 11002;
inline constexpr int NoRecovery = 11003;
inline constexpr int NoData = 11004;
/// The resolver could not be started: "network subsystem not ready".
inline constexpr int SubsystemNotReady = 10091;
} // namespace ResolverError

/// Outcome of one reverse lookup: a host name, or an error number.
struct ReverseLookupResult
{
    QString hostName;
    int errorCode = ResolverError::None;
};

/// The resolver behind the reverse lookup of the first relay address.
class HostResolver
{
public:
    virtual ~HostResolver() = default;

    /// Prepares the resolver; returns 0, or a start-up error number.
    virtual int startup() = 0;

    /// Releases what `startup` prepared. Failures are ignored.
    virtual void cleanup() = 0;

    /// Looks up the host name of an IPv4 address given in network byte order.
    /// Blocks until the resolver answers.
    virtual ReverseLookupResult lookupAddress(quint32 networkOrderAddress) = 0;

    /// Looks up the host name of an IPv6 address, the same way and with the
    /// same error numbers as `lookupAddress`. Blocks until the resolver answers.
    virtual ReverseLookupResult lookupAddress6(const Ipv6Bytes& address) = 0;
};
