// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs/FixedLayout.h"

#include <QStringList>

#include <span>

class QWidget;

/// How the live control `row.name` of `window` differs from its row of the
/// table: its kind, geometry, caption, tool tip, label buddy, and a caption that
/// the control cannot show whole at its size and font. One line per difference;
/// none when the control is as the table says.
QStringList controlDifferences(const QWidget& window, const ControlSpec& row);

/// The controls in the order the Tab key visits them: from the control with tab
/// place 1 along the focus chain, every widget that takes Tab focus, until the
/// chain comes round to the first one again. Names, or class names for widgets
/// without one.
QStringList tabCycle(const QWidget& window, std::span<const ControlSpec> table);

/// The names of the table's controls in the order of their tab places.
QStringList tableTabOrder(std::span<const ControlSpec> table);
