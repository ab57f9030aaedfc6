// SPDX-License-Identifier: GPL-3.0-or-later
// A contact database's TXT answer of any bytes: the records split at NUL bytes,
// read for addresses; the same bytes as a relay text and as a zone name.
#include "contactdb/ContactZone.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)contactAddressesInTxt(bytes.split('\0'));
    const QString text = QString::fromLatin1(bytes);
    (void)contactQueryName(text, u"contacts.example");
    (void)contactQueryName(u"192.0.2.7", text);
    (void)isContactZoneName(text);
    return 0;
}
