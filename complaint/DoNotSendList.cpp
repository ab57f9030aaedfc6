// SPDX-License-Identifier: GPL-3.0-or-later
#include "complaint/DoNotSendList.h"

#include "common/TextCodec.h"

#include <QDir>
#include <QFile>

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

} // namespace

bool DontSend(const QString& strIn, const QString& programDirectory)
{
    QFile file(QDir(programDirectory).filePath(DoNotSendFileName.toString()));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return false;
    }
    const QString text = decodeTextFile(bytes);
    FieldReader reader(text);
    while (!reader.atEnd()) {
        const QString entry = reader.next();
        if (entry.size() >= MinimumEntryLength && strIn.contains(entry, Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}
