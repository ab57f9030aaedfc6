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

/// The message shown when the resolver cannot be started, by its error number;
/// empty text for a number without one.
QString StartupFailureMessage(int code);
