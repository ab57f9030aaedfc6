// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeResolver.h"

#include <arpa/inet.h>
#include <array>
#include <cstring>

ReverseLookupResult FakeResolver::lookupAddress(quint32 networkOrderAddress)
{
    in_addr address{};
    address.s_addr = networkOrderAddress;
    const QString text = QString::fromLatin1(::inet_ntoa(address));
    lookedUp.append(text);
    return answers.value(text, unknownAnswer);
}

ReverseLookupResult FakeResolver::lookupAddress6(const Ipv6Bytes& address)
{
    in6_addr bytes{};
    std::memcpy(bytes.s6_addr, address.data(), address.size());
    std::array<char, INET6_ADDRSTRLEN> text{};
    ::inet_ntop(AF_INET6, &bytes, text.data(), text.size());
    const QString asked = QString::fromLatin1(text.data());
    lookedUp.append(asked);
    return answers.value(asked, unknownAnswer);
}
