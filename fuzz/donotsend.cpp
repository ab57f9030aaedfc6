// SPDX-License-Identifier: GPL-3.0-or-later
// donotsend.txt, a file people edit by hand.
#include "complaint/DoNotSendList.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)parseDoNotSendList(QByteArrayView(data, static_cast<qsizetype>(size)));
    return 0;
}
