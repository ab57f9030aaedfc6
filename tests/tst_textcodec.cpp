// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/LineEnds.h"
#include "common/TextCodec.h"
#include "mailbox/MessageText.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestTextCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodeWhole_data();
    void decodeWhole();
    void splitAcrossPieces();
    void incompleteTail();
    void lineEnds_data();
    void lineEnds();
    void splitMessage_data();
    void splitMessage();
    void headerOnly();
};

void TestTextCodec::decodeWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ASCII") << QByteArray("abc\r\n") << u"abc\r\n"_s;
    QTest::newRow("two-byte UTF-8") << QByteArray("gr\xc3\xbc\xc3\x9f") << u"gr\u00fc\u00df"_s;
    QTest::newRow("three-byte UTF-8") << QByteArray("\xe2\x82\xac") << u"\u20ac"_s;
    QTest::newRow("four-byte UTF-8") << QByteArray("\xf0\x9f\x98\x80") << u"\U0001F600"_s;
    QTest::newRow("Latin-1 byte inside text") << QByteArray("caf\xe9 ok") << u"caf\u00e9 ok"_s;
    QTest::newRow("Latin-1 byte at the end") << QByteArray("caf\xe9") << u"caf\u00e9"_s;
    QTest::newRow("Latin-1 and UTF-8 mixed") << QByteArray("\xe9t\xc3\xa9") << u"\u00e9t\u00e9"_s;
    QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << u"a\u0080z"_s;
    QTest::newRow("overlong two-byte form") << QByteArray("\xc0\x80") << u"\u00c0\u0080"_s;
    QTest::newRow("overlong three-byte form") << QByteArray("\xe0\x80\xaf") << u"\u00e0\u0080\u00af"_s;
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << u"\u00ed\u00a0\u0080"_s;
    QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << u"\u00f4\u0090\u0080\u0080"_s;
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestTextCodec::decodeWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(decodeUtf8OrLatin1(bytes), expected);
}

void TestTextCodec::splitAcrossPieces()
{
    const QByteArray bytes("x\xe2\x82\xacy\xf0\x9f\x98\x80z\xc3\xa9");
    const QString expected = u"x\u20acy\U0001F600z\u00e9"_s;
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        Utf8OrLatin1Decoder decoder;
        QString text = decoder.decode(QByteArrayView(bytes).first(cut));
        text += decoder.decode(QByteArrayView(bytes).sliced(cut));
        text += decoder.flush();
        QCOMPARE(text, expected);
    }
}

void TestTextCodec::incompleteTail()
{
    Utf8OrLatin1Decoder decoder;
    QCOMPARE(decoder.decode("ab\xe2\x82"), u"ab"_s);
    QCOMPARE(decoder.flush(), u"\u00e2\u0082"_s);
    QCOMPARE(decoder.flush(), QString());

    // A held lead byte that the next piece does not continue is Latin-1.
    QCOMPARE(decoder.decode("\xe2"), QString());
    QCOMPARE(decoder.decode("A"), u"\u00e2A"_s);

    decoder.decode("\xc3");
    decoder.reset();
    QCOMPARE(decoder.decode("\xa9"), u"\u00a9"_s);
}

void TestTextCodec::lineEnds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("crLf");
    QTest::addColumn<QString>("lf");

    QTest::newRow("LF") << u"a\nb\n"_s << u"a\r\nb\r\n"_s << u"a\nb\n"_s;
    QTest::newRow("CR LF unchanged") << u"a\r\nb"_s << u"a\r\nb"_s << u"a\nb"_s;
    QTest::newRow("lone CR") << u"a\rb"_s << u"a\r\nb"_s << u"a\rb"_s;
    QTest::newRow("LF then CR LF") << u"a\n\r\nb"_s << u"a\r\n\r\nb"_s << u"a\n\nb"_s;
    QTest::newRow("CR then CR LF") << u"a\r\r\nb"_s << u"a\r\n\r\nb"_s << u"a\r\nb"_s;
    QTest::newRow("LF CR") << u"\n\r"_s << u"\r\n\r\n"_s << u"\n\r"_s;
    QTest::newRow("empty") << QString() << QString() << QString();
}

void TestTextCodec::lineEnds()
{
    QFETCH(QString, text);
    QFETCH(QString, crLf);
    QFETCH(QString, lf);
    QCOMPARE(toCrLf(text), crLf);
    QCOMPARE(crLfToLf(text), lf);
}

void TestTextCodec::splitMessage_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("body");

    QTest::newRow("CR LF message") << QByteArray("A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore") << u"A: 1\r\nB: 2\r\n\r\n"_s
                                   << u"body\r\n\r\nmore"_s;
    QTest::newRow("LF message") << QByteArray("A: 1\nB: 2\n\nbody\n") << u"A: 1\r\nB: 2\r\n\r\n"_s << u"body\r\n"_s;
    QTest::newRow("mbox From line dropped")
        << QByteArray("From a@example.com Mon Jan  1 00:00:00 2001\nA: 1\n\nbody") << u"A: 1\r\n\r\n"_s << u"body"_s;
    QTest::newRow("From field kept") << QByteArray("From: a@example.com\n\nbody") << u"From: a@example.com\r\n\r\n"_s
                                     << u"body"_s;
    QTest::newRow("no empty line") << QByteArray("A: 1\nB: 2") << u"A: 1\r\nB: 2\r\n\r\n"_s << QString();
    QTest::newRow("no empty line, final LF") << QByteArray("A: 1\n") << u"A: 1\r\n\r\n"_s << QString();
    QTest::newRow("empty line first") << QByteArray("\nbody") << u"\r\n"_s << u"body"_s;
    QTest::newRow("Latin-1 header") << QByteArray("Subject: caf\xe9\n\n") << u"Subject: caf\u00e9\r\n\r\n"_s
                                    << QString();
    QTest::newRow("empty") << QByteArray() << QString() << QString();
}

void TestTextCodec::splitMessage()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, header);
    QFETCH(QString, body);

    const MessageText message = SplitMessage(raw);
    QCOMPARE(message.header, header);
    QCOMPARE(message.body, body);
}

void TestTextCodec::headerOnly()
{
    const MessageText message = HeaderOnly("A: 1\nB: 2\n\nC: 3");
    QCOMPARE(message.header, u"A: 1\r\nB: 2\r\n\r\nC: 3"_s);
    QCOMPARE(message.body, QString());
}

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
