// SPDX-License-Identifier: GPL-3.0-or-later
// A whois answer of any bytes, read for the network range that holds an
// IPv4 and an IPv6 address; a range found must hold its address.
#include "whois/NetworkRange.h"

#include "common/TextCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString answer =
        decodeTextFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    for (const QStringView address : {QStringView(u"192.0.2.7"), QStringView(u"2001:db8::25")}) {
        const Ipv6Bytes bytes = *addressBytes(address);
        if (const std::optional<NetworkRange> range = statedNetworkRange(answer, bytes)) {
            if (!range->contains(bytes) || range->last < range->first) {
                std::abort();
            }
        }
    }
    (void)addressBytes(answer);
    return 0;
}
