// SPDX-License-Identifier: GPL-3.0-or-later
// The IMAP store reads the message it was asked for while another client
// expunges: a scripted IMAP server on 127.0.0.1 shifts the sequence numbers
// between vmime's two fetches of a message, as a real server may.
#include "mailbox/MailStore.h"
#include "tests/support/MailTestEnvironment.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

// One folder of three messages, UIDs 1 to 3, UIDVALIDITY 7. When the client
// asks "UID FETCH 2 UID", the message with UID argv[1] is expunged, and the
// notice follows the fetch data in that same answer (RFC 3501 allows EXPUNGE
// notices during UID commands); from then on the numbers are the new ones.
constexpr char serverScript[] = R"PY(
import socket, sys, threading
expunged = int(sys.argv[1])
messages = [(u, b'Subject: message %d\r\n\r\nbody %d\r\n' % (u, u)) for u in (1, 2, 3)]
lock = threading.Lock()

def numbers(ranges, last):
    out = []
    for part in ranges.split(','):
        low, _, high = part.partition(':')
        low = last if low == '*' else int(low)
        high = low if not high else (last if high == '*' else int(high))
        out += range(min(low, high), max(low, high) + 1)
    return out

def fetch(tag, words, by_uid):
    global expunged
    ranges, items = words[0], ' '.join(words[1:]).upper()
    out = b''
    with lock:
        if by_uid:
            wanted = set(numbers(ranges, messages[-1][0]))
            chosen = [(i + 1, m) for i, m in enumerate(messages) if m[0] in wanted]
        else:
            chosen = [(n, messages[n - 1]) for n in numbers(ranges, len(messages)) if n <= len(messages)]
        for number, (uid, data) in chosen:
            parts = [b'UID %d' % uid]
            if 'FLAGS' in items:
                parts.append(b'FLAGS ()')
            if 'BODY' in items:
                parts.append(b'BODY[] {%d}\r\n' % len(data) + data)
            out += b'* %d FETCH (' % number + b' '.join(parts) + b')\r\n'
        if by_uid and items == 'UID' and ranges == '2' and expunged:
            number = [m[0] for m in messages].index(expunged) + 1
            del messages[number - 1]
            expunged = 0
            out += b'* %d EXPUNGE\r\n' % number
    return out + tag + b' OK done\r\n'

def serve(connection):
    stream = connection.makefile('rb')
    send = connection.sendall
    send(b'* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN UIDPLUS] ready\r\n')
    for line in stream:
        tag, _, rest = line.strip().partition(b' ')
        words = rest.decode().split(' ')
        verb = words[0].upper()
        if verb == 'AUTHENTICATE':
            send(b'+ \r\n')
            stream.readline()
            send(tag + b' OK [CAPABILITY IMAP4rev1 UIDPLUS] logged in\r\n')
        elif verb == 'CAPABILITY':
            send(b'* CAPABILITY IMAP4rev1 UIDPLUS\r\n' + tag + b' OK done\r\n')
        elif verb == 'STARTTLS':
            send(tag + b' BAD no TLS here\r\n')
        elif verb == 'LIST':
            flags = b'\\Noselect' if words[-1] == '""' else b''
            send(b'* LIST (%s) "/" %s\r\n' % (flags, words[-1].encode()) + tag + b' OK done\r\n')
        elif verb in ('SELECT', 'STATUS'):
            with lock:
                count = len(messages)
            if verb == 'SELECT':
                send(b'* %d EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 4] n\r\n' % count +
                     tag + b' OK [READ-WRITE] selected\r\n')
            else:
                send(b'* STATUS INBOX (MESSAGES %d UIDNEXT 4 UIDVALIDITY 7 UNSEEN 0)\r\n' % count +
                     tag + b' OK done\r\n')
        elif verb == 'FETCH':
            send(fetch(tag, words[1:], False))
        elif verb == 'UID' and words[1].upper() == 'FETCH':
            send(fetch(tag, words[2:], True))
        elif verb == 'LOGOUT':
            send(b'* BYE\r\n' + tag + b' OK done\r\n')
            return
        else:
            send(tag + b' OK done\r\n')

server = socket.socket()
server.bind(('127.0.0.1', 0))
server.listen(4)
print('READY %d' % server.getsockname()[1], flush=True)
while True:
    connection, _ = server.accept()
    threading.Thread(target=serve, args=(connection,), daemon=True).start()
)PY";

} // namespace

class TestMailSequence final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MailTestEnvironment> m_environment;

private Q_SLOTS:
    void initTestCase()
    {
        m_environment = std::make_unique<MailTestEnvironment>();
        QFile script(m_environment->path() + u"/imap.py"_s);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(serverScript);
    }

    void cleanupTestCase() { m_environment.reset(); }

    void readUnderExpunge_data()
    {
        QTest::addColumn<int>("expunged");
        QTest::addColumn<QString>("subject");
        QTest::newRow("an older message goes") << 1 << u"message 2"_s;
        QTest::newRow("the message itself goes") << 2 << QString();
    }

    // The message with UID 2 is read while another client expunges: its own
    // bytes, or MessageGone when it is the one expunged; never the message
    // that took its sequence number.
    void readUnderExpunge()
    {
        QFETCH(int, expunged);
        QFETCH(QString, subject);
        QProcess server;
        server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        server.start(u"/usr/bin/python3"_s, {m_environment->path() + u"/imap.py"_s, QString::number(expunged)});
        QByteArray ready;
        for (const QDeadlineTimer deadline(10000); !ready.contains('\n') && !deadline.hasExpired();) {
            server.waitForReadyRead(100);
            ready += server.readAllStandardOutput();
        }
        QVERIFY2(ready.startsWith("READY "), ready.constData());

        MailSettings settings = MailSettings::defaults();
        settings.storeUrl = QUrl(u"imap://alice@127.0.0.1:%1"_s.arg(QString::fromLatin1(ready.sliced(6).trimmed())));
        settings.folder = u"INBOX"_s;
        settings.tlsRequired = false;
        settings.timeoutMs = 5000;
        MailStore store(settings, u"pw"_s);
        const MailError opened = store.open();
        QVERIFY2(opened.ok(), qPrintable(opened.description));
        const auto item = store.item(u"7/2"_s);
        if (subject.isEmpty()) {
            QCOMPARE(mailFailureName(item.error().kind), mailFailureName(MailFailure::MessageGone));
        } else {
            QVERIFY2(item.ok(), qPrintable(item.error().description));
            QCOMPARE(item.value().Subject, subject);
            QCOMPARE(item.value().EntryID, u"7/2"_s);
        }
        store.close();
        server.kill();
        server.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestMailSequence)
#include "tst_mailsequence.moc"
