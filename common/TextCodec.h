// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/// Decodes a byte stream as UTF-8; a byte that does not belong to a valid UTF-8
/// sequence is taken as the Latin-1 character of the same value. Mail and whois
/// answers mix both in the wild, and neither should turn into replacement marks.
///
/// The decoder keeps an incomplete multi-byte sequence at the end of one piece
/// until the next piece arrives, so a character split across reads comes out whole.
class Utf8OrLatin1Decoder final
{
public:
    /// Decodes one more piece of the stream.
    QString decode(QByteArrayView bytes);

    /// Ends the stream: bytes still held as the start of a sequence come out as Latin-1.
    QString flush();

    /// Forgets any held bytes, for a new stream.
    void reset() { m_pending.clear(); }

private:
    QByteArray m_pending;
};

/// Decodes a whole text at once, UTF-8 with the Latin-1 fallback.
QString decodeUtf8OrLatin1(QByteArrayView bytes);

/// The bytes without a leading UTF-8 byte-order mark, which some editors put at
/// the start of a file and which is not part of its text.
QByteArrayView withoutByteOrderMark(QByteArrayView bytes);

/// Decodes the whole content of a text file or pipe: a leading byte-order mark
/// is dropped, the rest decoded as `decodeUtf8OrLatin1` does.
QString decodeTextFile(QByteArrayView bytes);
