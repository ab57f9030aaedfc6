// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

/// The workbench holds multi-line texts with CR LF line breaks, as a Windows text
/// box does; files, pipes and Qt's editors use LF. These convert at that edge.

/// Every line break (CR LF, a lone LF or a lone CR) becomes CR LF.
QString toCrLf(QStringView text);

/// Every CR LF becomes LF; other characters stay as they are.
QString crLfToLf(QStringView text);
