// SPDX-License-Identifier: GPL-3.0-or-later
// A header block of any bytes, read as UTF-8 (the store's) and as Latin-1:
// its Message-ID is found and the block hashed; a key has no line break in its
// Message-ID and a hash of 64 lower-case hex digits.
#include "journal/MessageKey.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(const QString& header)
{
    const MessageKey key = messageKeyOf(header);
    if (key.headerHash.size() != 64 || key.messageId.contains(u'\n')) {
        std::abort();
    }
    for (const QChar c : key.headerHash) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    check(QString::fromUtf8(bytes));
    check(QString::fromLatin1(bytes));
    return 0;
}
