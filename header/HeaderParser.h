// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

/// Longest header text that can be analysed: lengths and positions are kept in
/// signed 16-bit integers, as they always were in this tool.
inline constexpr qsizetype MaxHeaderLength = 32767;

/// What one parse of a header text gives.
struct ParsedHeader
{
    enum class Outcome
    {
        Parsed,
        EmptyText,
        TooLong
    };

    Outcome outcome = Outcome::Parsed;
    /// One row per recognised header line: a 13-character label, a TAB, the value.
    QStringList rows;
    /// Relay addresses of the Received lines, in header order, each once.
    QStringList addresses;
    /// For TooLong: the description of the overflow.
    QString failure;
};

/// Splits a header text (lines separated by CR LF) into labelled rows and takes
/// the relay address out of every Received line.
///
/// The last character of the text is dropped before the split, whatever it is.
/// Only the first physical line of a field is read. The first Received row of a
/// run is labelled "X  received: " while `blnReceivedMarked` is false, which this
/// call then sets.
ParsedHeader ParseHeader(const QString& strMessage, bool& blnReceivedMarked);
