// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

struct WorkbenchState;

/// The workbench's lists and texts as one JSON object, with the complaint text
/// under "complaint" when asked for.
QByteArray renderJson(const WorkbenchState& state, bool withComplaint = false);

/// The complaint text of the run, exactly as Copy Complaint puts it on the
/// clipboard (CR LF line ends), in UTF-8.
QByteArray renderComplaint(const WorkbenchState& state);

/// The same as readable text, one section per list, named as the window labels them.
QByteArray renderText(const WorkbenchState& state);
