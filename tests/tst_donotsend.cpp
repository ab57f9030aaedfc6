// SPDX-License-Identifier: GPL-3.0-or-later
#include "complaint/DoNotSendList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDoNotSend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dontSend_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("refused");

        const QByteArray quoted("  \"FOO.COM,BAR\" NET\r\n");
        QTest::newRow("blank lines are no entries") << QByteArray("\r\n  \r\n,\r\n") << u"ABUSE@EXAMPLE.COM"_s << false;
        QTest::newRow("inside a longer domain") << QByteArray("EXAMPLE.COM\r\n") << u"A@MX.EXAMPLE.COM.AU"_s << true;
        QTest::newRow("case counts") << QByteArray("example.com\r\n") << u"ABUSE@EXAMPLE.COM"_s << false;
        QTest::newRow("entries of one and two characters") << QByteArray("AB\r\nX\r\n") << u"ABUSE@AB.X"_s << false;
        QTest::newRow("entry of three characters") << QByteArray("NET\r\n") << u"ABUSE@EXAMPLE.NET"_s << true;
        QTest::newRow("second entry after a comma") << QByteArray("FOO.COM,BAR.ORG\r\n") << u"A@BAR.ORG"_s << true;
        QTest::newRow("blanks and tabs around") << QByteArray(" \tFOO.COM \t\r\n") << u"ABUSE@FOO.COM"_s << true;
        QTest::newRow("quoted field is one entry, comma included") << quoted << u"X@FOO.COM,BAR"_s << true;
        QTest::newRow("text after the quote passed over") << quoted << u"ABUSE@EXAMPLE.NET"_s << false;
        QTest::newRow("unterminated quote") << QByteArray("\"FOO.COM") << u"ABUSE@FOO.COM"_s << true;
        QTest::newRow("LF line ends") << QByteArray("FOO.COM\nBAR.ORG\n") << u"ABUSE@BAR.ORG"_s << true;
        QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbf"
                                                       "FOO.COM\r\n")
                                         << u"ABUSE@FOO.COM"_s << true;
        QTest::newRow("lone CR, no final line break") << QByteArray("FOO.COM\rBAR.ORG") << u"ABUSE@BAR.ORG"_s << true;
        // A file edited carelessly: a megabyte of 100,000-character lines, binary bytes.
        QByteArray huge;
        for (int line = 0; line < 10; ++line) {
            huge += QByteArray(100000, char('a' + line)) + "\r\n";
        }
        QTest::newRow("lines of 100,000 characters") << huge + "FOO.COM\r\n" << u"ABUSE@FOO.COM"_s << true;
        QTest::newRow("no entry matches within the long lines") << huge << u"ABUSE@FOO.COM"_s << false;
        static constexpr char binary[] = "\x00\xff\xfe\x01\x02,FOO.COM\r\n\x00\x00\r\n";
        QTest::newRow("binary bytes and NULs") << QByteArray(binary, sizeof binary - 1) << u"ABUSE@FOO.COM"_s << true;
        // The entries are looked up by their first three characters.
        QTest::newRow("entries with the same first characters")
            << QByteArray("EXAMINE.ORG\r\nEXAMPLE.COM\r\n") << u"A@EXAMPLE.COM"_s << true;
        QTest::newRow("entry at the very start") << QByteArray("ABU\r\n") << u"ABUSE@X.ORG"_s << true;
        QTest::newRow("entry the whole address") << QByteArray("A@B.CD\r\n") << u"A@B.CD"_s << true;
        QTest::newRow("entry longer than the address") << QByteArray("A@B.CDE\r\n") << u"A@B.CD"_s << false;
        QTest::newRow("address shorter than any entry") << QByteArray("NET\r\n") << u"NE"_s << false;
        QTest::newRow("letters beyond ASCII")
            << QByteArray("\xc3\x84\xc3\x96\xc3\x9c.DE\r\n") << u"A@\u00c4\u00d6\u00dc.DE"_s << true;
        QByteArray many;
        for (int n = 0; n < 10000; ++n) {
            many += "@LISTED" + QByteArray::number(n) + ".EXAMPLE\r\n";
        }
        QTest::newRow("10,000 entries, the last refuses") << many << u"ABUSE@LISTED9999.EXAMPLE"_s << true;
        QTest::newRow("10,000 entries, none refuses") << many << u"ABUSE@LISTED.EXAMPLE"_s << false;
    }
    void dontSend()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, address);
        QFETCH(bool, refused);

        QTemporaryDir directory;
        QVERIFY(writeList(directory, content));
        QCOMPARE(DontSend(address, directory.path()), refused);
    }

    // No file, a file, the file rewritten, a directory in its place.
    void readAfreshOnEveryCall()
    {
        QTemporaryDir directory;
        QCOMPARE(DontSend(u"ABUSE@FOO.COM"_s, directory.path()), false);
        QVERIFY(writeList(directory, "FOO.COM\r\n"));
        QCOMPARE(DontSend(u"ABUSE@FOO.COM"_s, directory.path()), true);
        QVERIFY(writeList(directory, "BAR.ORG\r\n"));
        QCOMPARE(DontSend(u"ABUSE@FOO.COM"_s, directory.path()), false);
        QCOMPARE(DontSend(u"ABUSE@BAR.ORG"_s, directory.path()), true);
        QVERIFY(QFile::remove(directory.filePath(DoNotSendFileName.toString())));
        QVERIFY(QDir(directory.path()).mkdir(DoNotSendFileName.toString()));
        QCOMPARE(DontSend(u"ABUSE@BAR.ORG"_s, directory.path()), false);
    }

private:
    static bool writeList(const QTemporaryDir& directory, const QByteArray& content)
    {
        QFile file(directory.filePath(DoNotSendFileName.toString()));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }
};

QTEST_GUILESS_MAIN(TestDoNotSend)
#include "tst_donotsend.moc"
