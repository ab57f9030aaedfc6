// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TextCodec.h"

namespace {

struct SequenceShape
{
    int length = 0;
    unsigned char secondMin = 0x80;
    unsigned char secondMax = 0xBF;
};

// The lead bytes of well-formed UTF-8 (no overlong forms, no surrogates, nothing
// above U+10FFFF) and the range its second byte must fall in.
SequenceShape shapeOf(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (lead == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if (lead == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (lead >= 0xE1 && lead <= 0xEF) {
        return {3, 0x80, 0xBF};
    }
    if (lead == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (lead >= 0xF1 && lead <= 0xF3) {
        return {4, 0x80, 0xBF};
    }
    if (lead == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {};
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

enum class Fit
{
    Complete,
    Truncated,
    Invalid
};

// Checks the sequence that starts at `at`: complete and valid, valid so far but cut
// off by the end of the data, or invalid.
Fit fitOf(const SequenceShape& shape, const unsigned char* data, qsizetype at, qsizetype size)
{
    for (int k = 1; k < shape.length; ++k) {
        if (at + k >= size) {
            return Fit::Truncated;
        }
        const unsigned char byte = data[at + k];
        const bool ok = k == 1 ? (byte >= shape.secondMin && byte <= shape.secondMax) : isContinuation(byte);
        if (!ok) {
            return Fit::Invalid;
        }
    }
    return Fit::Complete;
}

char32_t codePointOf(const unsigned char* sequence, int length)
{
    static constexpr unsigned char leadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t codePoint = sequence[0] & leadMask[length];
    for (int k = 1; k < length; ++k) {
        codePoint = (codePoint << 6) | (sequence[k] & 0x3F);
    }
    return codePoint;
}

} // namespace

QString Utf8OrLatin1Decoder::decode(QByteArrayView bytes)
{
    QByteArray data = m_pending + bytes;
    m_pending.clear();
    const auto* raw = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype size = data.size();

    QString text;
    text.reserve(size);
    qsizetype at = 0;
    while (at < size) {
        const unsigned char lead = raw[at];
        if (lead < 0x80) {
            text.append(QChar(char16_t(lead)));
            ++at;
            continue;
        }
        const SequenceShape shape = shapeOf(lead);
        const Fit fit = shape.length == 0 ? Fit::Invalid : fitOf(shape, raw, at, size);
        if (fit == Fit::Truncated) {
            m_pending = data.mid(at);
            break;
        }
        if (fit == Fit::Invalid) {
            text.append(QChar(char16_t(lead)));
            ++at;
            continue;
        }
        const char32_t codePoint = codePointOf(raw + at, shape.length);
        text.append(QStringView(QChar::fromUcs4(codePoint)));
        at += shape.length;
    }
    return text;
}

QString Utf8OrLatin1Decoder::flush()
{
    QString text = QString::fromLatin1(m_pending);
    m_pending.clear();
    return text;
}

QString decodeUtf8OrLatin1(QByteArrayView bytes)
{
    Utf8OrLatin1Decoder decoder;
    QString text = decoder.decode(bytes);
    text += decoder.flush();
    return text;
}

QByteArrayView withoutByteOrderMark(QByteArrayView bytes)
{
    constexpr QByteArrayView ByteOrderMark("\xEF\xBB\xBF");
    return bytes.startsWith(ByteOrderMark) ? bytes.sliced(ByteOrderMark.size()) : bytes;
}

QString decodeTextFile(QByteArrayView bytes)
{
    return decodeUtf8OrLatin1(withoutByteOrderMark(bytes));
}
