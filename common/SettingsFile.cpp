// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SettingsFile.h"

#include "common/TextCodec.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

// The value of a "key=value" line: quoted values are taken as written (with \"
// and \\ escapes); bare values end at a comment that follows a blank.
std::optional<QString> unquote(QStringView raw)
{
    const QStringView value = raw.trimmed();
    if (!value.startsWith(u'"')) {
        qsizetype end = value.size();
        for (qsizetype i = 1; i < value.size(); ++i) {
            if ((value[i] == u';' || value[i] == u'#') && value[i - 1].isSpace()) {
                end = i;
                break;
            }
        }
        return value.first(end).trimmed().toString();
    }
    QString result;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            result += value[++i];
        } else if (c == u'"') {
            const QStringView rest = value.sliced(i + 1).trimmed();
            if (rest.isEmpty() || rest.startsWith(u';') || rest.startsWith(u'#')) {
                return result;
            }
            return std::nullopt;
        } else {
            result += c;
        }
    }
    return std::nullopt; // no closing quote
}

} // namespace

QString settingsFilePath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) {
        config = QDir::homePath() + u"/.config"_s;
    }
    return config + u"/zelkor/zelkor.conf"_s;
}

SettingsText readSettingsText(QByteArrayView text, const QString& fileName, const QStringList& strictSections)
{
    SettingsText settings;
    const QString all = decodeTextFile(text);
    QString section;
    qsizetype lineNumber = 0;
    for (QStringView line : QStringTokenizer(all, u'\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']')) {
                settings.error = u"%1: line %2: a section name lacks its closing \"]\""_s.arg(fileName).arg(lineNumber);
                return settings;
            }
            section = line.sliced(1, line.size() - 2).trimmed().toString().toLower();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0) {
            if (strictSections.contains(section)) {
                settings.error = u"%1: line %2: [%3] expected key=value"_s.arg(fileName).arg(lineNumber).arg(section);
                return settings;
            }
            continue;
        }
        const QString key = line.first(equals).trimmed().toString().toLower();
        const std::optional<QString> value = unquote(line.sliced(equals + 1));
        if (!value) {
            settings.error = u"%1: [%2] %3: the closing double quote is missing"_s.arg(fileName, section, key);
            return settings;
        }
        settings.entries.append({section, key, *value, lineNumber});
    }
    return settings;
}

std::optional<bool> parseSettingsBool(const QString& text)
{
    const QString lower = text.toLower();
    if (lower == u"true" || lower == u"yes" || lower == u"on" || lower == u"1") {
        return true;
    }
    if (lower == u"false" || lower == u"no" || lower == u"off" || lower == u"0") {
        return false;
    }
    return std::nullopt;
}
