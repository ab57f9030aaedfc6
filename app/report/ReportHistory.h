// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

/// Prints the journal's complaints handed at or after `since` (all when
/// invalid), newest first: when, the outcome, the subject, the source hop
/// and the recipients; as text or as one JSON array. Returns the exit status.
int printHistory(const QString& journalPath, const QDateTime& since, bool json);

/// Prints whether the message with the header block `header` was reported,
/// when and to whom. Returns the exit status.
int printMessageHistory(const QString& journalPath, const QString& header, bool json);

/// Reads --since: a date ("2026-12-01", midnight UTC) or a date and time in
/// ISO 8601 form; invalid when it is neither.
QDateTime parseHistorySince(const QString& text);
