// SPDX-License-Identifier: GPL-3.0-or-later
// A raw message from the mail store: its header block and body as the boxes
// take them, and the subject and text parts as the mail layer decodes them.
#include "mailbox/MailItem.h"

#include "mailbox/MessageText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView raw(data, static_cast<qsizetype>(size));
    (void)SplitMessage(raw);
    (void)HeaderOnly(raw);
    (void)parseMailItem(raw);
    return 0;
}
