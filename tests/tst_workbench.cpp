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

const QString ResolvableHeader = u"Received: from a (a [192.0.2.7]) by mx\r\n"
                                 u"Received: from b ([198.51.100.9]) by a\r\n"
                                 u"Subject: hello\r\n\r\n"_s;

struct Bench
{
    QTemporaryDir programDirectory;
    FakeResolver resolver;
    RecordingHost host;
    std::unique_ptr<Workbench> workbench;

    Bench()
    {
        workbench = std::make_unique<Workbench>(
            Workbench::Dependencies{resolver, host, programDirectory.path(), WhoisLookup::Options{}});
        workbench->setTraceEnabled(false);
    }

    void writeDoNotSend(const QByteArray& content) const
    {
        QFile file(programDirectory.filePath(u"donotsend.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    const WorkbenchState& state() const { return workbench->state(); }
};

QStringList addressesOf(const QList<AbuseRow>& rows)
{
    QStringList addresses;
    for (const AbuseRow& row : rows) {
        addresses.append(row.address);
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
    void emptyHeaderChangesOnlyTheResultLists();
    void headerWithoutRelayAddressIsParsedTwice();
    void overlongHeaderIsReportedAsOverflow();
    void startTwiceGivesTheSameLists();
    void clearResultEmptiesEverything();
    void reverseLookupRunsUnderTheBusyPointerAfterOnePassOfEvents();
    void startupFailureIsShownAndLoadingGoesOn_data();
    void startupFailureIsShownAndLoadingGoesOn();
};

void TestWorkbench::startCommand_data()
{
    QTest::addColumn<ReverseLookupResult>("lookup");
    QTest::addColumn<QByteArray>("doNotSend");
    QTest::addColumn<QStringList>("domains");
    QTest::addColumn<QStringList>("abuse");

    QTest::newRow("three-label host name") << ReverseLookupResult{u"mail.example.com"_s, 0} << QByteArray()
                                           << QStringList{u"EXAMPLE.COM"_s} << QStringList{u"ABUSE@EXAMPLE.COM"_s};
    QTest::newRow("one-label host name") << ReverseLookupResult{u"localhost"_s, 0} << QByteArray()
                                         << QStringList{u"LOCALHOST"_s} << QStringList{u"ABUSE@LOCALHOST"_s};
    QTest::newRow("no data gives N/A") << ReverseLookupResult{QString(), 11004} << QByteArray() << QStringList{u"N/A"_s}
                                       << QStringList();
    QTest::newRow("host not found lists nothing")
        << ReverseLookupResult{QString(), 11001} << QByteArray() << QStringList() << QStringList();
    QTest::newRow("server failure lists nothing")
        << ReverseLookupResult{QString(), 11002} << QByteArray() << QStringList() << QStringList();
    QTest::newRow("do-not-send refuses the candidate")
        << ReverseLookupResult{u"mx.example.com"_s, 0} << QByteArray("EXAMPLE.COM\r\n") << QStringList{u"EXAMPLE.COM"_s}
        << QStringList();
    QTest::newRow("do-not-send entry in lower case refuses nothing")
        << ReverseLookupResult{u"mx.example.com"_s, 0} << QByteArray("example.com\r\n") << QStringList{u"EXAMPLE.COM"_s}
        << QStringList{u"ABUSE@EXAMPLE.COM"_s};
}

void TestWorkbench::startCommand()
{
    QFETCH(ReverseLookupResult, lookup);
    QFETCH(QByteArray, doNotSend);
    QFETCH(QStringList, domains);
    QFETCH(QStringList, abuse);

    Bench bench;
    bench.resolver.answers.insert(u"192.0.2.7"_s, lookup);
    if (!doNotSend.isEmpty()) {
        bench.writeDoNotSend(doNotSend);
    }
    bench.workbench->setHeaderText(ResolvableHeader);
    bench.workbench->Start();

    const WorkbenchState& state = bench.state();
    QCOMPARE(state.lstIPs, (QStringList{u"192.0.2.7"_s, u"198.51.100.9"_s}));
    QCOMPARE(state.lstOut.first(), u"X  received: \tfrom a (a [192.0.2.7]) by mx"_s);
    QCOMPARE(state.intIPCount, 2);
    QCOMPARE(state.intIPIndex, 0);
    QCOMPARE(state.strCurrentIP, u"192.0.2.7"_s);
    QCOMPARE(bench.resolver.lookedUp, QStringList{u"192.0.2.7"_s});
    QCOMPARE(state.lstDomain, domains);
    QCOMPARE(addressesOf(state.lstAbuse), abuse);
    for (const AbuseRow& row : state.lstAbuse) {
        QVERIFY(!row.ticked);
    }
    QCOMPARE(state.txtWhoStatus, QString());
}

void TestWorkbench::emptyHeaderChangesOnlyTheResultLists()
{
    Bench bench;
    bench.resolver.answers.insert(u"192.0.2.7"_s, {u"mx.example.com"_s, 0});
    bench.workbench->setHeaderText(ResolvableHeader);
    bench.workbench->Start();
    const QStringList rows = bench.state().lstOut;
    bench.workbench->setHeaderText(QString());
    bench.workbench->Start();

    QCOMPARE(bench.state().lstOut, rows);
    QVERIFY(bench.state().lstIPs.isEmpty());
    QVERIFY(bench.state().lstDomain.isEmpty());
    QVERIFY(bench.state().lstAbuse.isEmpty());
    QCOMPARE(bench.state().txtWhoStatus, QString());
    QCOMPARE(bench.resolver.lookedUp.size(), 1);
}

void TestWorkbench::headerWithoutRelayAddressIsParsedTwice()
{
    Bench bench;
    bench.workbench->setHeaderText(u"Received: from nowhere by mx\r\nReceived: by mx\r\nTo: x\r\n\r\n"_s);
    bench.workbench->Start();

    QCOMPARE(bench.state().lstOut,
             (QStringList{u"   received: \tfrom nowhere by mx"_s, u"   received: \tby mx"_s, u"         to: \tx"_s}));
    QVERIFY(bench.state().lstIPs.isEmpty());
    QCOMPARE(bench.state().intIPCount, 0);
    QCOMPARE(bench.state().txtWhoStatus, u"No relay address found in the header"_s);
    QVERIFY(bench.resolver.lookedUp.isEmpty());
    QVERIFY(!bench.workbench->isTracing());
}

void TestWorkbench::overlongHeaderIsReportedAsOverflow()
{
    Bench bench;
    bench.workbench->setHeaderText(ResolvableHeader);
    bench.workbench->Start();
    QString header = ResolvableHeader;
    header += QString(32768 - header.size(), u'x');
    bench.workbench->setHeaderText(header);
    bench.workbench->Start();

    QVERIFY2(bench.state().txtWhoStatus.startsWith(u"Something bad happened Overflow"_s),
             qPrintable(bench.state().txtWhoStatus));
    QVERIFY(bench.state().lstOut.isEmpty());
    QVERIFY(bench.state().lstIPs.isEmpty());
    QCOMPARE(bench.resolver.lookedUp.size(), 1);

    header.chop(1);
    bench.workbench->setHeaderText(header);
    bench.workbench->Start();
    QCOMPARE(bench.state().lstIPs.size(), 2);
}

void TestWorkbench::startTwiceGivesTheSameLists()
{
    Bench bench;
    bench.resolver.answers.insert(u"192.0.2.7"_s, {u"mx.example.com"_s, 0});
    bench.workbench->setHeaderText(ResolvableHeader);
    bench.workbench->Start();
    const WorkbenchState once = bench.state();
    bench.workbench->Start();

    QCOMPARE(bench.state().lstOut, once.lstOut);
    QCOMPARE(bench.state().lstIPs, once.lstIPs);
    QCOMPARE(bench.state().lstDomain, once.lstDomain);
    QCOMPARE(bench.state().lstAbuse, once.lstAbuse);
}

void TestWorkbench::clearResultEmptiesEverything()
{
    Bench bench;
    bench.resolver.answers.insert(u"192.0.2.7"_s, {u"mx.example.com"_s, 0});
    bench.workbench->setHeaderText(ResolvableHeader);
    bench.workbench->setBodyText(u"body\r\n"_s);
    bench.workbench->setSubjectText(u"subject"_s);
    bench.workbench->Start();
    bench.workbench->ClearResult();

    const WorkbenchState& state = bench.state();
    QCOMPARE(state.txtWhoStatus, u"Cleared"_s);
    QVERIFY(state.txtIn.isEmpty() && state.txtBody.isEmpty() && state.txtSubject.isEmpty());
    QVERIFY(state.lstOut.isEmpty() && state.lstIPs.isEmpty() && state.lstDomain.isEmpty());
    QVERIFY(state.txtWhoIsOut.isEmpty() && state.lstAbuse.isEmpty());
    QCOMPARE(state.strCurrentIP, u"192.0.2.7"_s);
    QCOMPARE(state.intIPCount, 2);

    bench.workbench->Start();
    QCOMPARE(state.txtWhoStatus, u"Cleared"_s);
    QCOMPARE(bench.resolver.lookedUp.size(), 1);
}

void TestWorkbench::reverseLookupRunsUnderTheBusyPointerAfterOnePassOfEvents()
{
    Bench bench;
    bench.workbench->setHeaderText(ResolvableHeader);
    bench.workbench->Start();
    QCOMPARE(bench.host.busyCalls, (QList<bool>{true, false}));
    QCOMPARE(bench.host.pendingEventPasses, 1);

    bench.workbench->setHeaderText(u"Received: from x ([IPv6:2001:db8::1]) by mx\r\n\r\n"_s);
    bench.workbench->Start();
    QCOMPARE(bench.state().strCurrentIP, u"IPv6:2001:db8::1"_s);
    QCOMPARE(bench.host.pendingEventPasses, 1);
    QCOMPARE(bench.resolver.lookedUp.size(), 1);
}

void TestWorkbench::startupFailureIsShownAndLoadingGoesOn_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("success shows nothing") << 0 << QStringList();
    QTest::newRow("subsystem not ready")
        << 10091 << QStringList{u"The underlying network subsystem is not ready for network communication."_s};
    QTest::newRow("unlisted code shows an empty message") << 10047 << QStringList{QString()};
}

void TestWorkbench::startupFailureIsShownAndLoadingGoesOn()
{
    QFETCH(int, code);
    QFETCH(QStringList, messages);
    Bench bench;
    bench.resolver.startupResult = code;
    bench.workbench->Load();
    QCOMPARE(bench.host.startupFailures, messages);

    bench.workbench->setHeaderText(ResolvableHeader);
    bench.workbench->Start();
    QCOMPARE(bench.state().lstIPs.size(), 2);
    bench.workbench->Unload();
    QCOMPARE(bench.resolver.cleanups, 1);
}

QTEST_GUILESS_MAIN(TestWorkbench)
#include "tst_workbench.moc"
