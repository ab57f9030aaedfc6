// SPDX-License-Identifier: GPL-3.0-or-later
// A whois answer of any bytes and length: its evaluation and the abuse harvest.
#include "common/TextCodec.h"
#include "whois/AbuseHarvest.h"
#include "whois/AnswerEvaluation.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Utf8OrLatin1Decoder decoder;
    const QString answer =
        decoder.decode(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))) + decoder.flush();
    (void)ClassifyAnswer(answer);
    (void)IsQueryLimitRefusal(answer);
    (void)HarvestAddresses(answer, {}, [](const QString& address) { return address.size() % 7 == 0; });
    return 0;
}
