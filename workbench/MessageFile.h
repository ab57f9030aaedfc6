// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/MessageText.h"

#include <QString>

#include <optional>

/// A message read from a file or standard input, or why it could not be.
struct MessageFile
{
    std::optional<MessageText> message;
    /// One line for a person: which input and what went wrong.
    QString error;
};

/// Reads a message (header, empty line, body) from `path`, or standard input
/// for "-"; with `headerOnly` the whole text is the header. An input of zero
/// bytes, a byte-order mark aside, is an error.
MessageFile ReadMessageFile(const QString& path, bool headerOnly = false);
