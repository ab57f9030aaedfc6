// SPDX-License-Identifier: GPL-3.0-or-later
// The hops of a header's Received fields and their classes: every address taken
// must be one that QHostAddress reads as well, so the parser's own check never
// lets text through that only looks like an address; every hop gets one class,
// and at most one is the source.
#include "common/TextCodec.h"
#include "header/ReceivedChain.h"
#include "trust/PublicSuffix.h"
#include "trust/RelayTrust.h"

#include <QHostAddress>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString header = decodeTextFile(QByteArrayView(data, static_cast<qsizetype>(size)));
    const QList<ReceivedHop> hops = ParseReceivedChain(header);
    for (const ReceivedHop& hop : hops) {
        if (QHostAddress(hop.address).isNull()) {
            __builtin_trap();
        }
    }
    const QList<HopTrust> classes = ClassifyHops(hops, {}, registeredDomain);
    if (classes.size() != hops.size() || classes.count(HopTrust::Source) > 1) {
        __builtin_trap();
    }
    return 0;
}
