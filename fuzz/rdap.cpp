// SPDX-License-Identifier: GPL-3.0-or-later
// An RDAP answer of any bytes: as a network's answer and as a fetched entity.
#include "rdap/RdapAnswer.h"

#include <QUrl>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)parseRdapAnswer(body, QUrl(QStringLiteral("https://rdap.example.net/ip/192.0.2.1")));
    (void)parseRdapEntity(body);
    return 0;
}
