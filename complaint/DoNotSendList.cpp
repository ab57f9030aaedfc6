// SPDX-License-Identifier: GPL-3.0-or-later
#include "complaint/DoNotSendList.h"

#include "common/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

// Entries shorter than this would refuse far too much, so they never match.
constexpr qsizetype MinimumEntryLength = 3;

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

class FieldReader
{
public:
    explicit FieldReader(QStringView text)
        : m_text(text)
    {}

    bool atEnd() const { return m_at >= m_text.size(); }

    QString next()
    {
        while (!atEnd() && isBlank(m_text[m_at])) {
            ++m_at;
        }
        QString field = !atEnd() && m_text[m_at] == u'"' ? readQuoted() : readPlain();
        skipToDelimiter();
        consumeDelimiter();
        return field;
    }

private:
    QString readQuoted()
    {
        const qsizetype from = m_at + 1;
        qsizetype close = m_text.indexOf(u'"', from);
        if (close < 0) {
            close = m_text.size();
        }
        m_at = qMin(close + 1, m_text.size());
        return m_text.sliced(from, close - from).toString();
    }

    QString readPlain()
    {
        const qsizetype from = m_at;
        skipToDelimiter();
        qsizetype to = m_at;
        while (to > from && isBlank(m_text[to - 1])) {
            --to;
        }
        return m_text.sliced(from, to - from).toString();
    }

    void skipToDelimiter()
    {
        while (!atEnd() && m_text[m_at] != u',' && !isLineEnd(m_text[m_at])) {
            ++m_at;
        }
    }

    void consumeDelimiter()
    {
        if (atEnd()) {
            return;
        }
        const bool crLf = m_text[m_at] == u'\r' && m_at + 1 < m_text.size() && m_text[m_at + 1] == u'\n';
        m_at += crLf ? 2 : 1;
    }

    QStringView m_text;
    qsizetype m_at = 0;
};

QString describeFailure(const QString& path, const QString& reason)
{
    return QDir::toNativeSeparators(path) + u": "_s + reason;
}

QByteArray lineOf(const QString& entry)
{
    return entry.toUtf8() + "\r\n";
}

// Writes all of `bytes` to a file opened unbuffered, so that a failure shows
// here with the system's reason instead of later in a flush, and nothing is left
// in a buffer to be written by the close. A short write is followed by another,
// which either goes on or fails with the reason.
bool writeWhole(QFileDevice& file, const QByteArray& bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 step = file.write(bytes.constData() + written, bytes.size() - written);
        if (step <= 0) {
            return false;
        }
        written += step;
    }
    return true;
}

bool endsWithLineEnd(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(size - 1)) {
        return true;
    }
    char last = 0;
    return !file.getChar(&last) || last == '\n' || last == '\r';
}

} // namespace

QString doNotSendFilePath(const QString& programDirectory)
{
    return QDir(programDirectory).filePath(DoNotSendFileName.toString());
}

QStringList readDoNotSendList(const QString& programDirectory)
{
    // The file is read whole and closed at the end of this block, on the failure
    // paths too, so the next reader or writer always finds it free.
    QByteArray bytes;
    {
        QFile file(doNotSendFilePath(programDirectory));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            return {};
        }
    }
    return parseDoNotSendList(bytes);
}

QStringList parseDoNotSendList(QByteArrayView bytes)
{
    const QString text = decodeTextFile(bytes);
    QStringList entries;
    FieldReader reader(text);
    while (!reader.atEnd()) {
        entries.append(reader.next());
    }
    return entries;
}

bool appendDoNotSendEntry(const QString& programDirectory, const QString& entry, QString* error)
{
    QFile file(doNotSendFilePath(programDirectory));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error != nullptr) {
            *error = describeFailure(file.fileName(), file.errorString());
        }
        return false;
    }
    const qint64 sizeBefore = file.size();
    // A last line without its line end (the file edited by hand) would take the
    // new entry into itself.
    QByteArray bytes = lineOf(entry);
    if (sizeBefore > 0 && !endsWithLineEnd(file.fileName(), sizeBefore)) {
        bytes.prepend("\r\n");
    }
    if (!writeWhole(file, bytes)) {
        if (error != nullptr) {
            *error = describeFailure(file.fileName(), file.errorString());
        }
        // A line cut short (a full disk) would glue itself to the next entry added.
        file.resize(sizeBefore);
        return false;
    }
    return true;
}

bool writeDoNotSendList(const QString& programDirectory, const QStringList& entries, QString* error)
{
    QByteArray content;
    for (const QString& entry : entries) {
        content += lineOf(entry);
    }
    // Until commit() the lines go to a temporary file beside the list; leaving
    // without commit() removes it and the old list stays whole.
    QSaveFile file(doNotSendFilePath(programDirectory));
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeWhole(file, content) && file.commit()) {
        return true;
    }
    if (error != nullptr) {
        *error = describeFailure(file.fileName(), file.errorString());
    }
    return false;
}

bool DontSend(const QString& strIn, const QString& programDirectory)
{
    return DoNotSendFilter(readDoNotSendList(programDirectory)).refuses(strIn);
}

namespace {

// The first MinimumEntryLength UTF-16 units of `text`, packed into one key.
quint64 leadingKey(QStringView text)
{
    static_assert(MinimumEntryLength * 16 <= 64);
    quint64 key = 0;
    for (qsizetype at = 0; at < MinimumEntryLength; ++at) {
        key = (key << 16) | text[at].unicode();
    }
    return key;
}

} // namespace

DoNotSendFilter::DoNotSendFilter(const QStringList& entries)
{
    for (const QString& entry : entries) {
        if (entry.size() >= MinimumEntryLength) {
            m_byLeadingCharacters[leadingKey(entry)].append(entry);
        }
    }
}

bool DoNotSendFilter::refuses(QStringView address) const
{
    if (m_byLeadingCharacters.isEmpty()) {
        return false;
    }
    for (qsizetype at = 0; at + MinimumEntryLength <= address.size(); ++at) {
        const auto bucket = m_byLeadingCharacters.constFind(leadingKey(address.sliced(at)));
        if (bucket == m_byLeadingCharacters.cend()) {
            continue;
        }
        const QStringView rest = address.sliced(at);
        for (const QString& entry : *bucket) {
            if (rest.startsWith(entry, Qt::CaseSensitive)) {
                return true;
            }
        }
    }
    return false;
}
