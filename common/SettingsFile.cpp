// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SettingsFile.h"

#include "common/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

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

// What a line of the file is to readSettingsText.
struct LineRole
{
    enum Kind
    {
        Other,
        Section,
        Entry,
    } kind = Other;
    QString name; // the section or the key, lower case
};

LineRole roleOf(QByteArrayView line)
{
    const QString text = decodeTextFile(line);
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#')) {
        return {};
    }
    if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
        return {LineRole::Section, trimmed.sliced(1, trimmed.size() - 2).trimmed().toString().toLower()};
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals <= 0) {
        return {};
    }
    return {LineRole::Entry, trimmed.first(equals).trimmed().toString().toLower()};
}

// The value as readSettingsText gives it back: quoted when it would be cut.
QByteArray valueText(const QString& value)
{
    bool quote = value != value.trimmed() || value.startsWith(u'"');
    for (qsizetype i = 1; i < value.size() && !quote; ++i) {
        quote = (value[i] == u';' || value[i] == u'#') && value[i - 1].isSpace();
    }
    if (!quote) {
        return value.toUtf8();
    }
    QString quoted = u"\""_s;
    for (const QChar c : value) {
        if (c == u'"' || c == u'\\') {
            quoted += u'\\';
        }
        quoted += c;
    }
    return (quoted + u'"').toUtf8();
}

// The file a path names, through symbolic links (the file to replace).
QString realFile(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists()) {
        return info.canonicalFilePath();
    }
    return info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
}

bool failed(QString* error, const QString& message)
{
    if (error != nullptr) {
        *error = message;
    }
    return false;
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

SettingsText readSettingsFile(const QString& path)
{
    QFile file(path);
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return {.entries = {}, .error = u"%1: cannot be read: %2"_s.arg(path, file.errorString())};
    }
    return readSettingsText(file.readAll(), path);
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

bool writeSettingsValue(const QString& path, const QString& section, const QString& key, const QString& value,
                        QString* error)
{
    if (value.contains(u'\n') || value.contains(u'\r')) {
        return failed(error, u"%1: [%2] %3: a value cannot hold a line break"_s.arg(path, section, key));
    }
    const QString target = realFile(path);
    QByteArray old;
    mode_t mode = S_IRUSR | S_IWUSR;
    struct stat status = {};
    const bool exists = ::stat(QFile::encodeName(target).constData(), &status) == 0;
    if (exists) {
        mode = status.st_mode & 07777;
        QFile file(target);
        if (!file.open(QIODevice::ReadOnly)) {
            return failed(error, u"%1: cannot be read: %2"_s.arg(path, file.errorString()));
        }
        old = file.readAll();
        if (const QString unreadable = readSettingsText(old, path).error; !unreadable.isEmpty()) {
            return failed(error, unreadable);
        }
    }

    // The lines with their line ends; the last one may have none.
    QList<QByteArray> lines;
    for (qsizetype start = 0; start < old.size();) {
        const qsizetype end = old.indexOf('\n', start);
        const qsizetype next = end < 0 ? old.size() : end + 1;
        lines.append(old.sliced(start, next - start));
        start = next;
    }
    const qsizetype firstBreak = old.indexOf('\n');
    const QByteArray lineEnd = firstBreak > 0 && old.at(firstBreak - 1) == '\r' ? "\r\n" : "\n";
    const QString wantedSection = section.toLower();
    const QString wantedKey = key.toLower();

    qsizetype keyLine = -1;
    qsizetype insertAfter = -1; // the last key line (or header) of the section's last block
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const LineRole role = roleOf(lines[i]);
        if (role.kind == LineRole::Section) {
            inSection = role.name == wantedSection;
            if (inSection) {
                insertAfter = i;
            }
        } else if (role.kind == LineRole::Entry && inSection) {
            insertAfter = i;
            if (role.name == wantedKey) {
                keyLine = i;
            }
        }
    }

    const auto endLine = [&](qsizetype i) {
        if (!lines[i].endsWith('\n')) {
            lines[i] += lineEnd;
        }
    };
    if (keyLine >= 0) {
        QByteArray& line = lines[keyLine];
        qsizetype valueStart = line.indexOf('=') + 1;
        while (valueStart < line.size() && (line[valueStart] == ' ' || line[valueStart] == '\t')) {
            ++valueStart;
        }
        const QByteArray end = line.endsWith("\r\n") ? "\r\n" : line.endsWith('\n') ? "\n" : "";
        line = line.first(valueStart) + valueText(value) + end;
    } else if (insertAfter >= 0) {
        endLine(insertAfter);
        lines.insert(insertAfter + 1, key.toUtf8() + '=' + valueText(value) + lineEnd);
    } else {
        if (!lines.isEmpty()) {
            endLine(lines.size() - 1);
            if (!decodeTextFile(lines.last()).trimmed().isEmpty()) {
                lines.append(lineEnd);
            }
        }
        lines.append('[' + section.toUtf8() + ']' + lineEnd);
        lines.append(key.toUtf8() + '=' + valueText(value) + lineEnd);
    }

    const QString directory = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(directory)) {
        return failed(error, u"%1: the folder %2 cannot be made"_s.arg(path, directory));
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        return failed(error, u"%1: cannot be written: %2"_s.arg(path, file.errorString()));
    }
    // The temporary file is the one that will stand in the old one's place.
    if (::fchmod(file.handle(), mode) != 0) {
        file.cancelWriting();
        return failed(error, u"%1: the permissions cannot be kept: %2"_s.arg(path, qt_error_string(errno)));
    }
    for (const QByteArray& line : std::as_const(lines)) {
        file.write(line);
    }
    if (!file.commit()) {
        return failed(error, u"%1: cannot be written: %2"_s.arg(path, file.errorString()));
    }
    return true;
}
