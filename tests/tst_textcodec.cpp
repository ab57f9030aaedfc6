// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/CaseMapping.h"
#include "common/LineEnds.h"
#include "common/TextCodec.h"
#include "mailbox/MessageText.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestTextCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("UTF-8") << QByteArray("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80") << u"\u00e9\u20ac\U0001F600"_s;
        QTest::newRow("mixed, cut at the end") << QByteArray("\xe9\xc3\xa9\xe2\x82") << u"\u00e9\u00e9\u00e2\u0082"_s;
        // A lone continuation byte, an overlong form, an encoded surrogate, a code point above U+10FFFF.
        QTest::newRow("invalid forms") << QByteArray("\x80\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80")
                                       << u"\u0080\u00e0\u0080\u00af\u00ed\u00a0\u0080\u00f4\u0090\u0080\u0080"_s;
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(decodeUtf8OrLatin1(bytes), expected);
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut) { // the same bytes in two pieces, cut everywhere
            Utf8OrLatin1Decoder stream;                       // a braced list makes the three calls in order
            const QStringList pieces{stream.decode(bytes.first(cut)), stream.decode(bytes.sliced(cut)), stream.flush()};
            QCOMPARE(pieces.join(QString()), expected);
        }
    }

    void caseMappingKeepsTheLength_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QString>("lower");
        QTest::newRow("sharp s and dotted I")
            << u"Stra\u00dfe \u0130"_s << u"STRA\u00dfE \u0130"_s << u"stra\u00dfe i"_s;
        QTest::newRow("outside the BMP") << u"\U00010400\U00010428"_s << u"\U00010400\U00010400"_s
                                         << u"\U00010428\U00010428"_s;
        QTest::newRow("lone surrogates kept") << u"a\xd800"
                                                 u"b\xdc00"_s
                                              << u"A\xd800"
                                                 u"B\xdc00"_s
                                              << u"a\xd800"
                                                 u"b\xdc00"_s;
    }
    void caseMappingKeepsTheLength()
    {
        QFETCH(QString, text);
        QFETCH(QString, upper);
        QFETCH(QString, lower);
        QCOMPARE(toUpperOneForOne(text), upper);
        QCOMPARE(toLowerOneForOne(text), lower);
    }

    void toCrLf()
    {
        // LF, CR LF, lone CR, LF before CR LF, CR before CR LF, LF CR.
        QCOMPARE(::toCrLf(u"a\nb\r\nc\rd\n\r\ne\r\r\nf\n\r"_s), u"a\r\nb\r\nc\r\nd\r\n\r\ne\r\n\r\nf\r\n\r\n"_s);
    }

    void splitMessage_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("headerBarBody");
        QTest::newRow("mbox line, From field") << QByteArray("From a@b Mon Jan  1 00:00:00 2001\nFrom: a@b\n\nb\n\nc")
                                               << u"From: a@b\r\n\r\n|b\r\n\r\nc"_s;
        QTest::newRow("no empty line: all header") << QByteArray("A: 1\nB: 2") << u"A: 1\r\nB: 2\r\n\r\n|"_s;
    }
    void splitMessage()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, headerBarBody);
        QCOMPARE(SplitMessage(raw).header + u'|' + SplitMessage(raw).body, headerBarBody);
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
