// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report/ReportHistory.h"

#include "journal/Journal.h"
#include "workbench/JournalKeeper.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int Success = 0;
constexpr int Failed = 3;

QString isoTime(const QDateTime& when)
{
    return when.isValid() ? when.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QJsonObject complaintJson(const JournalComplaint& complaint)
{
    return {{u"handedAt"_s, isoTime(complaint.handedAt)},
            {u"answeredAt"_s,
             complaint.answeredAt.isValid() ? QJsonValue(isoTime(complaint.answeredAt)) : QJsonValue(QJsonValue::Null)},
            {u"subject"_s, complaint.subject},
            {u"messageId"_s, complaint.message.messageId},
            {u"headerHash"_s, complaint.message.headerHash},
            {u"source"_s, complaint.sourceAddress},
            {u"recipients"_s, QJsonArray::fromStringList(complaint.recipients)},
            {u"outcome"_s, complaint.outcome},
            {u"refused"_s, QJsonArray::fromStringList(complaint.refused)},
            {u"deferred"_s, QJsonArray::fromStringList(complaint.deferred)},
            {u"failure"_s, complaint.failure}};
}

// "2026-12-07 23:05 UTC  accepted  "Subject"  from 192.0.2.7  to A, B"
QString complaintLine(const JournalComplaint& complaint)
{
    QString line =
        journalTimeText(complaint.handedAt) + u"  "_s + complaint.outcome + u"  \""_s + complaint.subject + u'"';
    if (!complaint.sourceAddress.isEmpty()) {
        line += u"  from "_s + complaint.sourceAddress;
    }
    line += u"  to "_s + (complaint.recipients.isEmpty() ? u"nobody"_s : complaint.recipients.join(u", "_s));
    if (!complaint.refused.isEmpty()) {
        line += u"; refused by "_s + complaint.refused.join(u", "_s);
    }
    if (!complaint.deferred.isEmpty()) {
        line += u"; refused for now by "_s + complaint.deferred.join(u", "_s);
    }
    if (!complaint.failure.isEmpty()) {
        line += u"; "_s + complaint.failure;
    }
    return line;
}

void print(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

int journalFailed(const Journal& journal)
{
    std::fprintf(stderr, "zelkor-report: %s\n", qUtf8Printable(journal.error()));
    return Failed;
}

} // namespace

int printHistory(const QString& journalPath, const QDateTime& since, bool json)
{
    Journal journal(journalPath);
    const std::optional<QList<JournalComplaint>> complaints = journal.complaints(since);
    if (!complaints) {
        return journalFailed(journal);
    }
    if (json) {
        QJsonArray list;
        for (const JournalComplaint& complaint : *complaints) {
            list.append(complaintJson(complaint));
        }
        print(QJsonDocument(list).toJson(QJsonDocument::Indented));
        return Success;
    }
    QString text;
    for (const JournalComplaint& complaint : *complaints) {
        text += complaintLine(complaint) + u'\n';
    }
    print(text.toUtf8());
    return Success;
}

int printMessageHistory(const QString& journalPath, const QString& header, bool json)
{
    Journal journal(journalPath);
    const MessageKey key = messageKeyOf(header);
    const std::optional<std::optional<JournalComplaint>> reported = journal.findReported(key);
    if (!reported) {
        return journalFailed(journal);
    }
    if (json) {
        QJsonObject answer{
            {u"messageId"_s, key.messageId}, {u"headerHash"_s, key.headerHash}, {u"reported"_s, reported->has_value()}};
        if (*reported) {
            answer.insert(u"complaint"_s, complaintJson(**reported));
        }
        print(QJsonDocument(answer).toJson(QJsonDocument::Indented));
        return Success;
    }
    const QString line = *reported ? u"reported on %1 to %2\n"_s.arg(journalTimeText((*reported)->handedAt),
                                                                     (*reported)->recipients.join(u", "_s))
                                   : u"not reported\n"_s;
    print(line.toUtf8());
    return Success;
}

QDateTime parseHistorySince(const QString& text)
{
    if (const QDate day = QDate::fromString(text, Qt::ISODate); day.isValid()) {
        return day.startOfDay(Qt::UTC);
    }
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (when.isValid() && when.timeSpec() == Qt::LocalTime) {
        when.setTimeSpec(Qt::UTC);
    }
    return when;
}
