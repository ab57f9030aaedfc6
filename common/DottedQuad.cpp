// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DottedQuad.h"

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

std::optional<Ipv4> parseIpv4(QStringView text, LeadingZeros zeros)
{
    Ipv4 address = 0;
    qsizetype at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != u'.') {
                return std::nullopt;
            }
            ++at;
        }
        const qsizetype start = at;
        int value = 0;
        while (at < text.size() && isAsciiDigit(text[at]) && at - start < 3) {
            value = value * 10 + (text[at].unicode() - u'0');
            ++at;
        }
        const qsizetype digits = at - start;
        if (digits == 0 || value > 255 || (at < text.size() && isAsciiDigit(text[at]))) {
            return std::nullopt;
        }
        if (zeros == LeadingZeros::Refused && digits > 1 && text[start] == u'0') {
            return std::nullopt;
        }
        address = (address << 8) | Ipv4(value);
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return address;
}
