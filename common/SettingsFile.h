// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

/// One "key=value" line of the settings file.
struct SettingsEntry
{
    QString section; ///< lower case, without the brackets
    QString key;     ///< lower case
    QString value;   ///< taken whole: commas stay, quotes are removed
    qsizetype line = 0;
};

/// The lines of the settings file, or the first line that cannot be read.
struct SettingsText
{
    QList<SettingsEntry> entries;
    /// "FILE: line N: what is wrong", empty when every line was read.
    QString error;
};

/// The program's settings file: $XDG_CONFIG_HOME/zelkor/zelkor.conf, or
/// ~/.config/zelkor/zelkor.conf when the variable is unset or empty.
QString settingsFilePath();

/// Reads an INI text. Values are taken whole (QSettings would split an unquoted
/// comma into a list); a value in double quotes keeps blanks and ";" (with \"
/// and \\ escapes); otherwise a ";" or "#" after a blank starts a comment, as
/// does a line that begins with one. Lines without "=" are skipped, except in
/// the sections of `strictSections`, where they are an error.
SettingsText readSettingsText(QByteArrayView text, const QString& fileName, const QStringList& strictSections = {});

/// "true", "yes", "on", "1" and their opposites, in any letter case.
std::optional<bool> parseSettingsBool(const QString& text);
