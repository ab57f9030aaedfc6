// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "resolve/HostResolver.h"

#include <QHash>
#include <QList>

/// A resolver that answers from a table of addresses (dotted text, or IPv6 in
/// the compressed lower-case form of RFC 5952 such as "2001:db8::25") and
/// records the lookups it was asked for, of both families, in that form.
class FakeResolver final : public HostResolver
{
public:
    int startupResult = 0;
    QHash<QString, ReverseLookupResult> answers;
    ReverseLookupResult unknownAnswer{QString(), ResolverError::HostNotFound};
    QStringList lookedUp;
    int cleanups = 0;

    int startup() override { return startupResult; }
    void cleanup() override { ++cleanups; }
    ReverseLookupResult lookupAddress(quint32 networkOrderAddress) override;
    ReverseLookupResult lookupAddress6(const Ipv6Bytes& address) override;
};
