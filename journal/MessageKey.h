// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// What identifies a spam message in the journal: its Message-ID and a hash
/// of its header block, taken together, so that a missing or forged
/// Message-ID does not make two spams one.
struct MessageKey
{
    /// The Message-ID field's value, unfolded, without blanks or angle
    /// brackets around it; empty when the header has none.
    QString messageId;
    /// SHA-256 of the header block, lower-case hex. Line ends are taken as
    /// CR LF whatever they are, and blank lines and blanks at the end are
    /// dropped, so the same header pasted or loaded from a store gives the
    /// same hash.
    QString headerHash;
};

/// The key of the message whose header block is `header`. Pure.
MessageKey messageKeyOf(const QString& header);
