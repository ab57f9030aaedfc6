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

/// Reads the settings file at `path` with readSettingsText: a missing file has
/// no entries; one that cannot be read gives "FILE: cannot be read: why".
SettingsText readSettingsFile(const QString& path);

/// Sets `key` of `section` (both in any letter case, as readSettingsText reads
/// them) in the settings file at `path` to `value`, and keeps every other line,
/// comment and line end byte for byte. The line that readers take (the key's
/// last in that section) gets the new value, after the key and blanks as
/// written; a missing key is added after the last key of the section's last
/// block, a missing section at the end of the file. A value that readers would
/// cut short (outer blanks, a comment sign after a blank, a leading quote) is
/// written in double quotes.
///
/// The new text goes through a temporary file in the directory of the real
/// file, which then replaces it: a symbolic link at `path` stays a link to the
/// replaced file, and a failure leaves the file as it was. The new file has the
/// old one's permission bits (a file holding a password stays readable by its
/// owner only); a file that did not exist is made readable by its owner only.
/// A file that readSettingsText cannot read is not changed. On failure `error`
/// (when given) says why, naming the file.
bool writeSettingsValue(const QString& path, const QString& section, const QString& key, const QString& value,
                        QString* error = nullptr);

/// "true", "yes", "on", "1" and their opposites, in any letter case.
std::optional<bool> parseSettingsBool(const QString& text);
