// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor-report as scripts use it: arguments, input, exit status and output.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

QStringList stringsOf(const QJsonValue& value)
{
    QStringList strings;
    for (const QJsonValue& item : value.toArray()) {
        strings.append(item.toString());
    }
    return strings;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private:
    Outcome run(const QStringList& arguments, const QByteArray& input = {}, const QStringList& environment = {}) const;
    QString write(const QString& name, const QByteArray& content) const;

    QTemporaryDir m_files;

private Q_SLOTS:
    void headerOnlyRowsToTheCharacter_data();
    void headerOnlyRowsToTheCharacter();
    void messageIsSplitIntoHeaderAndBody();
    void textFormNamesTheSections();
    void latin1BytesAreRead();
    void failures_data();
    void failures();
    void helpExplainsTheEnvironment();
};

Outcome TestReport::run(const QStringList& arguments, const QByteArray& input, const QStringList& environment) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Reverse lookups must stay on this machine: nothing listens on the discard port.
    env.insert(u"ZELKOR_DNS_SERVERS"_s, u"127.0.0.1:9"_s);
    for (const QString& setting : environment) {
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    }
    process.setProcessEnvironment(env);
    process.start(QString::fromUtf8(ZELKOR_REPORT_BINARY), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QString TestReport::write(const QString& name, const QByteArray& content) const
{
    QFile file(m_files.filePath(name));
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    file.write(content);
    return file.fileName();
}

void TestReport::headerOnlyRowsToTheCharacter_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("ips");

    QTest::newRow("LF file ending in a line break keeps the CR")
        << QByteArray("Received: from a ([192.0.2.1]) by b\nReceived: from c (c [192.0.2.2])\nDate: Mon, 1 Jan "
                      "2024 00:00:00 +0000\n")
        << QStringList{u"X  received: \tfrom a ([192.0.2.1]) by b"_s, u"   received: \tfrom c (c [192.0.2.2])"_s,
                       u"       date: \tMon, 1 Jan 2024 00:00:00 +0000\r"_s}
        << QStringList{u"192.0.2.1"_s, u"192.0.2.2"_s};
    QTest::newRow("no final line break drops the last character")
        << QByteArray("Received: from a ([192.0.2.1]) by b\r\nDate: Mon, 1 Jan 2024 00:00:00 +0000")
        << QStringList{u"X  received: \tfrom a ([192.0.2.1]) by b"_s, u"       date: \tMon, 1 Jan 2024 00:00:00 +000"_s}
        << QStringList{u"192.0.2.1"_s};
    QTest::newRow("no relay address") << QByteArray("Subject: hi\n") << QStringList{u"    subject: \thi\r"_s}
                                      << QStringList();
}

void TestReport::headerOnlyRowsToTheCharacter()
{
    QFETCH(QByteArray, header);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, ips);

    const Outcome outcome = run({u"--json"_s, u"--header-only"_s, u"--no-trace"_s, write(u"h.txt"_s, header)});
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(stringsOf(outcome.json().value(u"parsedHeader"_s)), rows);
    QCOMPARE(stringsOf(outcome.json().value(u"ips"_s)), ips);
}

void TestReport::messageIsSplitIntoHeaderAndBody()
{
    const QByteArray message = "From spammer@example.com  Mon Jan  1 00:00:00 2024\n"
                               "Received: from x (x [127.0.0.1]) by mx\n"
                               "Subject: buy now\n"
                               "\n"
                               "Received: from body ([192.0.2.99]) by nobody\n";
    const Outcome outcome = run({u"--json"_s, u"--no-trace"_s, u"-"_s}, message);
    QCOMPARE(outcome.exitCode, 0);
    const QJsonObject json = outcome.json();
    QCOMPARE(stringsOf(json.value(u"parsedHeader"_s)),
             (QStringList{u"X  received: \tfrom x (x [127.0.0.1]) by mx"_s, u"    subject: \tbuy now"_s}));
    QCOMPARE(stringsOf(json.value(u"ips"_s)), QStringList{u"127.0.0.1"_s});
    // 127.0.0.1 resolves through the hosts file, whatever the DNS servers.
    QCOMPARE(stringsOf(json.value(u"domains"_s)).size(), 1);
    QCOMPARE(json.value(u"abuse"_s).toArray().first().toObject().value(u"ticked"_s).toBool(true), false);
    QCOMPARE(json.value(u"tracking"_s).toString(), QString());
    QCOMPARE(json.value(u"status"_s).toString(), QString());
}

void TestReport::textFormNamesTheSections()
{
    const Outcome outcome = run({u"--header-only"_s, u"--no-trace"_s, u"-"_s}, "Received: from x ([192.0.2.1]) by y\n");
    QCOMPARE(outcome.exitCode, 0);
    const QString text = QString::fromUtf8(outcome.out);
    qsizetype last = -1;
    for (const QString& title : {u"Parsed Header"_s, u"List of IP Addresses"_s, u"Domain"_s, u"Abuse Addresses"_s,
                                 u"Tracking"_s, u"Status"_s}) {
        const qsizetype position = text.indexOf(u'\n' + title + u'\n', last);
        QVERIFY2(position > last || (last < 0 && text.startsWith(title)), qPrintable(title));
        last = qMax(position, qsizetype(0));
    }
    QVERIFY(text.contains(u"    192.0.2.1\n"_s));
}

void TestReport::latin1BytesAreRead()
{
    const Outcome outcome =
        run({u"--json"_s, u"--header-only"_s, u"--no-trace"_s, u"-"_s}, "Subject: caf\xe9 \xc3\xa9t\xe9\n");
    QCOMPARE(stringsOf(outcome.json().value(u"parsedHeader"_s)),
             QStringList{u"    subject: \tcaf\u00e9 \u00e9t\u00e9\r"_s});
}

void TestReport::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("missing file") << QStringList{u"/nonexistent/message.eml"_s} << QStringList() << QByteArray() << 1;
    QTest::newRow("directory") << QStringList{u"/"_s} << QStringList() << QByteArray() << 1;
    QTest::newRow("no file") << QStringList() << QStringList() << QByteArray() << 2;
    QTest::newRow("two files") << QStringList{u"a"_s, u"b"_s} << QStringList() << QByteArray() << 2;
    QTest::newRow("unknown option") << QStringList{u"--frobnicate"_s, u"-"_s} << QStringList() << QByteArray() << 2;
    QTest::newRow("malformed whois servers")
        << QStringList{u"-"_s} << QStringList{u"ZELKOR_WHOIS_SERVERS=WHOIS.ARIN.NET"_s} << QByteArray() << 2;
    QTest::newRow("overlong header stops the analysis")
        << QStringList{u"--header-only"_s, u"--no-trace"_s, u"-"_s} << QStringList() << QByteArray(40000, 'x') << 3;
}

void TestReport::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);

    const Outcome outcome = run(arguments, input, environment);
    QCOMPARE(outcome.exitCode, exitCode);
    if (exitCode == 3) {
        QVERIFY(outcome.out.contains("Something bad happened Overflow"));
        return;
    }
    QVERIFY(outcome.out.isEmpty());
    QVERIFY2(outcome.err.startsWith("zelkor-report: ") && outcome.err.count('\n') == 1, outcome.err.constData());
}

void TestReport::helpExplainsTheEnvironment()
{
    const Outcome outcome = run({u"--help"_s});
    QCOMPARE(outcome.exitCode, 0);
    for (const char* word : {"--json", "--header-only", "--no-trace", "--progress", "ZELKOR_WHOIS_SERVERS",
                             "ZELKOR_DNS_SERVERS", "donotsend.txt"}) {
        QVERIFY2(outcome.out.contains(word), word);
    }
}

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
