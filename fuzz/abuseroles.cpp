// SPDX-License-Identifier: GPL-3.0-or-later
// A final whois answer of any bytes and length: the role of every address, the
// designated addresses beyond the harvest and the ticks they lead to.
#include "whois/AbuseRoles.h"

#include "common/TextCodec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Utf8OrLatin1Decoder decoder;
    const QString answer =
        decoder.decode(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))) + decoder.flush();
    QList<AbuseRole> roles;
    QList<bool> ticks;
    for (const AddressRole& entry : ClassifyAbuseRoles(answer)) {
        roles.append(entry.role);
        ticks.append(entry.address.size() % 2 == 0);
        (void)abuseRoleName(entry.role);
    }
    (void)DesignatedBeyondHarvest(answer);
    (void)DesignatedTicks(roles, ticks);
    return 0;
}
