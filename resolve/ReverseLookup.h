// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "resolve/HostResolver.h"

#include <functional>

/// Turns an IPv4 address text into a host name through `resolver`.
///
/// Blanks around the text are removed; a text that is not an IPv4 address
/// (including 255.255.255.255, which cannot be told from "no address") fails
/// without asking the resolver. Otherwise `processPendingEvents` runs once and
/// the lookup blocks until the resolver answers. Host names are cut to 256 bytes.
ReverseLookupResult ResolveHostName(HostResolver& resolver, const QString& strAddress,
                                    const std::function<void()>& processPendingEvents);

/// Like `ResolveHostName`, and also for an IPv6 address written as RFC 4291
/// text ("2001:db8::25", "2001:DB8:0:0:0:0:0:25"), blanks around it removed.
///
/// An IPv4-mapped IPv6 address ("::ffff:192.0.2.5") is looked up as the IPv4
/// address it holds, because its PTR record and hosts entry are the IPv4
/// address's. Zone indexes ("fe80::1%eth0"), brackets and the SMTP tag
/// ("IPv6:2001:db8::1") are not IPv6 addresses here: they fail without asking
/// the resolver, as does any other text that is not an address.
ReverseLookupResult ResolveAnyHostName(HostResolver& resolver, const QString& strAddress,
                                       const std::function<void()>& processPendingEvents);

/// The message shown when the resolver cannot be started, by its error number;
/// empty text for a number without one.
QString StartupFailureMessage(int code);
