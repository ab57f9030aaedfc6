// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// zelkor-report --learn-mailhosts [FOLDER] [--write]: reads the headers of the
/// newest messages (MailHostLearningMessages) of `folder` (empty: the Inbox) of
/// the settings file's [store], read only, and prints the proposed
/// "mailhosts=" line of [trust] and a line of evidence per entry on standard
/// output (proposeMailHosts, renderMailHostProposal). With `write` the value
/// also goes into [trust] mailhosts= of the settings file, every other line
/// kept (writeSettingsValue), and standard error says so. Returns the exit
/// status: 0 proposed (and written); 2 the settings are unusable or the file
/// cannot be written; 3 the store failed, or nothing recurs enough to be
/// proposed. Reasons go to standard error.
int learnMailHosts(const QString& folder, bool write);
