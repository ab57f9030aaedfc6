// SPDX-License-Identifier: GPL-3.0-or-later
#include "complaint/DoNotSendList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool writeList(const QTemporaryDir& directory, const QByteArray& content)
{
    QFile file(directory.filePath(DoNotSendFileName.toString()));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

} // namespace

class TestDoNotSend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readFields_data();
    void readFields();
    void dontSend_data();
    void dontSend();
    void noFile();
    void fileIsDirectory();
    void readAfreshOnEveryCall();
};

void TestDoNotSend::readFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("empty text") << QString() << QStringList();
    QTest::newRow("one entry a line") << u"A.COM\r\nB.ORG\r\n"_s << QStringList{u"A.COM"_s, u"B.ORG"_s};
    QTest::newRow("comma splits a line") << u"A.COM,B.ORG\r\n"_s << QStringList{u"A.COM"_s, u"B.ORG"_s};
    QTest::newRow("blank lines are empty fields") << u"\r\n\r\n"_s << QStringList{QString(), QString()};
    QTest::newRow("blanks and tabs around unquoted fields")
        << u"  A.COM  ,\tB.ORG\t\r\n"_s << QStringList{u"A.COM"_s, u"B.ORG"_s};
    QTest::newRow("quoted field with comma and blanks")
        << u"  \" A, B \" rest,C\r\n"_s << QStringList{u" A, B "_s, u"C"_s};
    QTest::newRow("unterminated quote") << u"\"A.COM"_s << QStringList{u"A.COM"_s};
    QTest::newRow("LF and CR line ends") << u"A\nB\rC"_s << QStringList{u"A"_s, u"B"_s, u"C"_s};
}

void TestDoNotSend::readFields()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QCOMPARE(ReadDoNotSendFields(text), fields);
}

void TestDoNotSend::dontSend_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("refused");

    const QByteArray example("EXAMPLE.COM\r\n");
    QTest::newRow("empty file") << QByteArray() << u"ABUSE@EXAMPLE.COM"_s << false;
    QTest::newRow("blank lines") << QByteArray("\r\n  \r\n\r\n") << u"ABUSE@EXAMPLE.COM"_s << false;
    QTest::newRow("domain entry, its abuse address") << example << u"ABUSE@EXAMPLE.COM"_s << true;
    QTest::newRow("domain entry inside a longer domain") << example << u"ABUSE@MAIL.EXAMPLE.COM.AU"_s << true;
    QTest::newRow("domain entry, other domain") << example << u"ABUSE@EXAMPLE.CO.UK"_s << false;
    QTest::newRow("lower-case entry") << QByteArray("example.com\r\n") << u"ABUSE@EXAMPLE.COM"_s << false;
    QTest::newRow("entries of one and two characters") << QByteArray("AB\r\nX\r\n") << u"ABUSE@AB.X"_s << false;
    QTest::newRow("entry of three characters") << QByteArray("NET\r\n") << u"ABUSE@EXAMPLE.NET"_s << true;
    QTest::newRow("second of two entries on a line") << QByteArray("FOO.COM,BAR.ORG\r\n") << u"ABUSE@BAR.ORG"_s << true;
    QTest::newRow("first of two entries on a line") << QByteArray("FOO.COM,BAR.ORG\r\n") << u"ABUSE@FOO.COM"_s << true;
    QTest::newRow("leading blanks skipped") << QByteArray("   FOO.COM\r\n") << u"ABUSE@FOO.COM"_s << true;
    QTest::newRow("trailing blanks removed") << QByteArray("FOO.COM  \r\n") << u"ABUSE@FOO.COM"_s << true;
    QTest::newRow("quoted field is one entry") << QByteArray("\"FOO.COM,BAR\"\r\n") << u"ABUSE@FOO.COM"_s << false;
    QTest::newRow("quoted field with comma") << QByteArray("\"FOO.COM,BAR\"\r\n") << u"X@FOO.COM,BAR"_s << true;
    QTest::newRow("LF line ends") << QByteArray("FOO.COM\nBAR.ORG\n") << u"ABUSE@BAR.ORG"_s << true;
    QTest::newRow("no final line break") << QByteArray("FOO.COM\r\nBAR.ORG") << u"ABUSE@BAR.ORG"_s << true;
    QTest::newRow("whole address, longer address") << QByteArray("ABUSE@FOO.COM\r\n") << u"XABUSE@FOO.COM.AU"_s << true;
    QTest::newRow("whole address, other address") << QByteArray("ABUSE@FOO.COM\r\n") << u"NOC@FOO.COM"_s << false;
}

void TestDoNotSend::dontSend()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, address);
    QFETCH(bool, refused);

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    QVERIFY(writeList(directory, content));
    QCOMPARE(DontSend(address, directory.path()), refused);
}

void TestDoNotSend::noFile()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    QCOMPARE(DontSend(u"ABUSE@EXAMPLE.COM"_s, directory.path()), false);
    QCOMPARE(DontSend(u"ABUSE@EXAMPLE.COM"_s, directory.filePath(u"missing"_s)), false);
}

void TestDoNotSend::fileIsDirectory()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    QVERIFY(QDir(directory.path()).mkdir(DoNotSendFileName.toString()));
    QCOMPARE(DontSend(u"ABUSE@EXAMPLE.COM"_s, directory.path()), false);
}

void TestDoNotSend::readAfreshOnEveryCall()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());

    QVERIFY(writeList(directory, "FOO.COM\r\n"));
    QCOMPARE(DontSend(u"ABUSE@FOO.COM"_s, directory.path()), true);
    QCOMPARE(DontSend(u"ABUSE@BAR.ORG"_s, directory.path()), false);

    QVERIFY(writeList(directory, "BAR.ORG\r\n"));
    QCOMPARE(DontSend(u"ABUSE@FOO.COM"_s, directory.path()), false);
    QCOMPARE(DontSend(u"ABUSE@BAR.ORG"_s, directory.path()), true);

    QVERIFY(QFile::remove(directory.filePath(DoNotSendFileName.toString())));
    QCOMPARE(DontSend(u"ABUSE@BAR.ORG"_s, directory.path()), false);
}

QTEST_GUILESS_MAIN(TestDoNotSend)
#include "tst_donotsend.moc"
