// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

struct WorkbenchState;

/// The workbench's lists and texts as one JSON object.
QByteArray renderJson(const WorkbenchState& state);

/// The same as readable text, one section per list, named as the window labels them.
QByteArray renderText(const WorkbenchState& state);
