// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

/// A message as the workbench's text boxes hold it: CR LF line breaks throughout.
struct MessageText
{
    /// The header block as a mail client's transport header holds it: every
    /// header line with its CR LF, then the CR LF of the empty line that ends it.
    QString header;
    /// Everything after that empty line.
    QString body;
};

/// Splits a raw message (UTF-8, or Latin-1 where it is not valid UTF-8) at its
/// first empty line. An mbox "From " line in front of the header is not part of
/// it and is dropped. A text without an empty line is all header.
MessageText SplitMessage(QByteArrayView raw);

/// Takes a whole text as a header, with its line breaks turned into CR LF.
MessageText HeaderOnly(QByteArrayView raw);
