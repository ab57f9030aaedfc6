// SPDX-License-Identifier: GPL-3.0-or-later
// The Start and Clear Result commands, load and unload, without whois lookups.
#include "tests/support/FakeResolver.h"
#include "tests/support/RecordingHost.h"
#include "workbench/Workbench.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Header = u"Received: from a (a [192.0.2.7]) by mx\r\nReceived: from b ([198.51.100.9]) by a\r\n\r\n"_s;

struct Bench
{
    QTemporaryDir programDirectory;
    FakeResolver resolver;
    RecordingHost host;
    Workbench workbench{{resolver, host, programDirectory.path(), {}}};

    explicit Bench(const QString& header = Header)
    {
        workbench.setTraceEnabled(false);
        workbench.setHeaderText(header);
    }
    const WorkbenchState& state() const { return workbench.state(); }
};

QStringList addressesOf(const QList<AbuseRow>& rows)
{
    QStringList addresses;
    for (const AbuseRow& row : rows) {
        addresses.append(row.ticked ? u"ticked "_s + row.address : row.address);
    }
    return addresses;
}

} // namespace

class TestWorkbench : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startCommand_data();
    void startCommand();
    void runsThatStopEarly();
    void clearResultThenStartDoesNothing();
    void startupFailureIsShownAndLoadingGoesOn();
};

void TestWorkbench::startCommand_data()
{
    QTest::addColumn<ReverseLookupResult>("lookup");
    QTest::addColumn<QByteArray>("doNotSend");
    QTest::addColumn<QStringList>("domains");
    QTest::addColumn<QStringList>("abuse");
    QTest::addColumn<QString>("reverse");

    QTest::newRow("three-label host") << ReverseLookupResult{u"mail.example.com"_s, 0} << QByteArray()
                                      << QStringList{u"EXAMPLE.COM"_s} << QStringList{u"ABUSE@EXAMPLE.COM"_s}
                                      << u"192.0.2.7: mail.example.com"_s;
    QTest::newRow("no data gives N/A") << ReverseLookupResult{QString(), 11004} << QByteArray() << QStringList{u"N/A"_s}
                                       << QStringList() << u"192.0.2.7: no name is recorded for the address (11004)"_s;
    QTest::newRow("other failures list nothing")
        << ReverseLookupResult{QString(), 11002} << QByteArray() << QStringList() << QStringList()
        << u"192.0.2.7: the DNS server failed or did not answer in time (11002)"_s;
    QTest::newRow("do-not-send refuses the candidate")
        << ReverseLookupResult{u"mx.example.com"_s, 0} << QByteArray("x, EXAMPLE.COM\r\n")
        << QStringList{u"EXAMPLE.COM"_s} << QStringList() << u"192.0.2.7: mx.example.com"_s;
}

void TestWorkbench::startCommand()
{
    QFETCH(ReverseLookupResult, lookup);
    QFETCH(QByteArray, doNotSend);
    QFETCH(QStringList, domains);
    QFETCH(QStringList, abuse);
    QFETCH(QString, reverse);

    Bench bench;
    bench.resolver.answers.insert(u"192.0.2.7"_s, lookup);
    QFile file(bench.programDirectory.filePath(u"donotsend.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(doNotSend) == doNotSend.size());
    file.close();

    // Twice: a second Start gives the same lists as the first, also when a
    // second click waited in the reverse lookup's pass of pending events.
    for (int run = 1; run <= 2; ++run) {
        if (run == 2) {
            bench.host.duringPendingEvents = [&bench] { bench.workbench.Start(); };
        }
        bench.workbench.Start();
        QCOMPARE(bench.state().lstIPs, (QStringList{u"192.0.2.7"_s, u"198.51.100.9"_s}));
        QCOMPARE(bench.state().lstOut.first(), u"X  received: \tfrom a (a [192.0.2.7]) by mx"_s);
        QCOMPARE(bench.state().intIPCount, 2);
        QCOMPARE(bench.state().intIPIndex, 0);
        QCOMPARE(bench.state().strCurrentIP, u"192.0.2.7"_s);
        QCOMPARE(bench.state().lstDomain, domains);
        QCOMPARE(addressesOf(bench.state().lstAbuse), abuse);
        QCOMPARE(bench.state().txtWhoStatus, QString());
        QCOMPARE(bench.state().reverseLookup, reverse);
    }
    QCOMPARE(bench.resolver.lookedUp, (QStringList{u"192.0.2.7"_s, u"192.0.2.7"_s}));
    QCOMPARE(bench.host.busyCalls, (QList<bool>{true, false, true, false}));
    QCOMPARE(bench.host.pendingEventPasses, 2);
}

void TestWorkbench::runsThatStopEarly()
{
    Bench bench;
    bench.resolver.answers.insert(u"192.0.2.7"_s, {u"mx.example.com"_s, 0});
    bench.workbench.Start();
    const QStringList rows = bench.state().lstOut;

    // An empty header clears the result lists and nothing else.
    bench.workbench.setHeaderText(QString());
    bench.workbench.Start();
    QCOMPARE(bench.state().lstOut, rows);
    QVERIFY(bench.state().lstIPs.isEmpty() && bench.state().lstDomain.isEmpty() && bench.state().lstAbuse.isEmpty());
    QCOMPARE(bench.state().txtWhoStatus, QString());

    // No relay address: a second parse drops the "X", then the run ends.
    bench.workbench.setHeaderText(u"Received: from nowhere by mx\r\nReceived: by mx\r\n\r\n"_s);
    bench.workbench.Start();
    QCOMPARE(bench.state().lstOut, (QStringList{u"   received: \tfrom nowhere by mx"_s, u"   received: \tby mx"_s}));
    QCOMPARE(bench.state().txtWhoStatus, u"No relay address found in the header"_s);

    // A header of 32,768 characters overflows; one less is analysed.
    QString header = Header + QString(32768 - Header.size(), u'x');
    bench.workbench.setHeaderText(header);
    bench.workbench.Start();
    QVERIFY2(bench.state().txtWhoStatus.startsWith(u"Something bad happened Overflow"_s),
             qPrintable(bench.state().txtWhoStatus));
    QVERIFY(bench.state().lstOut.isEmpty() && bench.state().lstIPs.isEmpty());
    header.chop(1);
    bench.workbench.setHeaderText(header);
    bench.workbench.Start();
    QCOMPARE(bench.state().lstIPs.size(), 2);

    // An address that is no IPv4 text is traced without a reverse lookup.
    bench.workbench.setHeaderText(u"Received: from x ([IPv6:2001:db8::1]) by mx\r\n\r\n"_s);
    bench.workbench.Start();
    QCOMPARE(bench.state().strCurrentIP, u"IPv6:2001:db8::1"_s);
    QCOMPARE(bench.resolver.lookedUp.size(), 2);
}

void TestWorkbench::clearResultThenStartDoesNothing()
{
    Bench bench;
    bench.resolver.answers.insert(u"192.0.2.7"_s, {u"mx.example.com"_s, 0});
    bench.workbench.setBodyText(u"body\r\n"_s);
    bench.workbench.setSubjectText(u"subject"_s);
    bench.workbench.Start();
    QCOMPARE(bench.state().lstDomain, QStringList{u"EXAMPLE.COM"_s});
    bench.workbench.ClearResult();

    const WorkbenchState& state = bench.state();
    QCOMPARE(state.txtWhoStatus, u"Cleared"_s);
    QVERIFY(state.txtIn.isEmpty() && state.txtBody.isEmpty() && state.txtSubject.isEmpty());
    QVERIFY(state.lstOut.isEmpty() && state.lstIPs.isEmpty() && state.lstDomain.isEmpty());
    QVERIFY(state.txtWhoIsOut.isEmpty() && state.lstAbuse.isEmpty());
    QCOMPARE(state.intIPCount, 2);
    bench.workbench.Start();
    QCOMPARE(state.txtWhoStatus, u"Cleared"_s);
    QCOMPARE(bench.resolver.lookedUp.size(), 1);
}

void TestWorkbench::startupFailureIsShownAndLoadingGoesOn()
{
    Bench bench;
    bench.resolver.startupResult = 10091;
    bench.workbench.Load();
    bench.resolver.startupResult = 10047;
    bench.workbench.Load();
    QCOMPARE(bench.host.startupFailures,
             (QStringList{u"The underlying network subsystem is not ready for network communication."_s, QString()}));
    bench.workbench.Start();
    QCOMPARE(bench.state().lstIPs.size(), 2);
    bench.workbench.Unload();
    QCOMPARE(bench.resolver.cleanups, 1);
}

QTEST_GUILESS_MAIN(TestWorkbench)
#include "tst_workbench.moc"
