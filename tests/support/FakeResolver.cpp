// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeResolver.h"

#include <arpa/inet.h>

ReverseLookupResult FakeResolver::lookupAddress(quint32 networkOrderAddress)
{
    in_addr address{};
    address.s_addr = networkOrderAddress;
    const QString text = QString::fromLatin1(::inet_ntoa(address));
    lookedUp.append(text);
    return answers.value(text, unknownAnswer);
}
