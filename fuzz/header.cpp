// SPDX-License-Identifier: GPL-3.0-or-later
// A spam header: the field parser, the relay addresses and the domain rule.
#include "common/TextCodec.h"
#include "header/HeaderParser.h"
#include "header/RelayAddress.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString header = decodeTextFile(QByteArrayView(data, static_cast<qsizetype>(size)));
    for (bool marked : {false, true}) {
        const ParsedHeader parsed = ParseHeader(header, marked);
        for (const QString& address : parsed.addresses) {
            (void)GetDomainFromHost(address);
        }
    }
    (void)ExtractBracketedAddress(header);
    (void)FindDottedAddress(header);
    (void)GetDomainFromHost(header);
    return 0;
}
