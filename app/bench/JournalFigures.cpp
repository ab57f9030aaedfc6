// SPDX-License-Identifier: GPL-3.0-or-later
// The journal's cost per message of a batch: the look for an earlier report,
// the count of a registry's lookups of the last 24 hours, the message's three
// whois lookups, the complaint handed and accepted, and the message's disposal,
// against a journal already holding 10 or 10,000 reports. The aim is under
// 5 ms a message; every write is a synchronous transaction, so the disk's
// flush time is most of the figure.
#include "journal/Journal.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <map>

using namespace Qt::StringLiterals;

namespace {

constexpr int QueriesPerMessage = 3;

const QStringList& registries()
{
    static const QStringList names{u"ARIN"_s, u"RIPE"_s, u"LACNIC"_s, u"AUNIC"_s, u"APNIC"_s, u"KRNIC"_s, u"NIC.BR"_s};
    return names;
}

// Message `n` of the batch: a key of its own, as two different spams have.
MessageKey keyOf(qint64 n)
{
    const QByteArray number = QByteArray::number(n);
    return {QString::fromLatin1("m" + number + "@spam.example"),
            QString::fromLatin1(QCryptographicHash::hash(number, QCryptographicHash::Sha256).toHex())};
}

// What a batch journals for one message that it reports, all at `at`.
bool journalReport(Journal& journal, qint64 n, const QDateTime& at)
{
    const QStringList& names = registries();
    for (int lookup = 0; lookup < QueriesPerMessage; ++lookup) {
        const QString& registry = names[(n + lookup) % names.size()];
        const JournalQuery query{at,
                                 u"whois"_s,
                                 registry,
                                 u"whois."_s + registry.toLower() + u".net"_s,
                                 u"192.0.%1.%2"_s.arg(n / 256 % 256).arg(n % 256),
                                 {}};
        if (!journal.recordQuery(query)) {
            return false;
        }
    }
    JournalComplaint complaint;
    complaint.handedAt = at;
    complaint.message = keyOf(n);
    complaint.subject = u"Buy now, offer %1"_s.arg(n);
    complaint.recipients = {u"abuse@net%1.example"_s.arg(n % 97), u"abuse@isp%1.example"_s.arg(n % 89)};
    const std::optional<qint64> id = journal.recordHanded(complaint);
    if (!id) {
        return false;
    }
    JournalComplaint answer = complaint;
    answer.answeredAt = at;
    answer.outcome = u"accepted"_s;
    if (!journal.recordAnswer(*id, answer)) {
        return false;
    }
    return journal.recordDisposal({at, complaint.message, complaint.subject, u"deleted"_s, {}, {}});
}

// The file of a journal holding `reports` reports spread over the last two
// days (so about half fall in a 24-hour count), filled once per process:
// every run starts from a copy, so it measures that size and not what earlier
// runs added. Empty, with `error` set, when it cannot be made.
QString filledJournal(qint64 reports, QString* error)
{
    static QTemporaryDir directory;
    static std::map<qint64, QString> files;
    if (const auto found = files.find(reports); found != files.end()) {
        return found->second;
    }
    const QString path = directory.filePath(u"filled-%1.sqlite"_s.arg(reports));
    {
        Journal journal(path);
        if (!journal.open()) {
            *error = journal.error();
            return {};
        }
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const qint64 spreadMs = 48LL * 3600 * 1000;
        for (qint64 n = 0; n < reports; ++n) {
            if (!journalReport(journal, n, now.addMSecs(-spreadMs + n * spreadMs / reports))) {
                *error = journal.error();
                return {};
            }
        }
    } // Closing the last connection folds the write-ahead log into the file.
    files.emplace(reports, path);
    return path;
}

void JournalPerMessage(benchmark::State& state)
{
    const qint64 reports = state.range(0);
    QString error;
    const QString filled = filledJournal(reports, &error);
    if (filled.isEmpty()) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    const QTemporaryDir directory;
    const QString path = directory.filePath(u"journal.sqlite"_s);
    if (!QFile::copy(filled, path)) {
        state.SkipWithError("cannot copy the filled journal");
        return;
    }
    Journal journal(path);
    if (!journal.open()) {
        state.SkipWithError(journal.error().toStdString().c_str());
        return;
    }
    qint64 n = reports;
    for (auto _ : state) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const std::optional<std::optional<JournalComplaint>> earlier = journal.findReported(keyOf(n));
        const std::optional<qint64> asked =
            journal.countQueries(u"whois"_s, registries()[n % registries().size()], now.addSecs(-24 * 3600));
        benchmark::DoNotOptimize(asked);
        if (!earlier || earlier->has_value() || !asked || !journalReport(journal, n, now)) {
            state.SkipWithError(QString(u"message %1: "_s.arg(n) + journal.error()).toStdString().c_str());
            break;
        }
        ++n;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetLabel(std::to_string(reports) + " reports before; 6 writes, 2 reads a message");
}

} // namespace

BENCHMARK(JournalPerMessage)
    ->Name("Journal/per_message")
    ->ArgName("reports")
    ->Arg(10)
    ->Arg(10000)
    // The writes wait for the disk: wall time, not CPU time, is the cost.
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
