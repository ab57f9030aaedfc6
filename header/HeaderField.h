// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

/// The value of the first field called `name` (any letter case) in a header
/// block with CR LF line breaks: continuation lines are joined to it (the CR LF
/// before their leading white space is dropped), blanks and tabs around it are
/// trimmed, and nothing is decoded. Empty text when the field is missing.
QString UnfoldedFieldValue(const QString& header, QStringView name);
