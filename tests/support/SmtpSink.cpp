// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/SmtpSink.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

// The sink: messages go to msg-NNNN.eml with .from and .rcpt beside them; the
// .eml appears last (renamed into place), so a reader never sees half a message.
constexpr char sinkScript[] = R"PY(
import os, signal, ssl, sys, threading
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP

port, directory, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
refused = {a.lower() for a in sys.argv[5:]}

def marked(name):
    return os.path.exists(os.path.join(directory, name))

def deferred():
    try:
        with open(os.path.join(directory, 'deferred-recipients')) as f:
            return {line.strip().lower() for line in f if line.strip()}
    except OSError:
        return set()

class Server(SMTP):
    # The reply to DATA itself, before the message comes, has no handler hook.
    async def smtp_DATA(self, arg):
        if self.envelope.rcpt_tos and marked('defer-data'):
            await self.push('451 4.3.2 Try again later')
            return
        if self.envelope.rcpt_tos and marked('refuse-data'):
            await self.push('554 5.7.1 Not accepted from you')
            return
        await super().smtp_DATA(arg)

class SinkController(Controller):
    def factory(self):
        return Server(self.handler, **self.SMTP_kwargs)

class Handler:
    count = 0
    async def handle_RCPT(self, server, session, envelope, address, options):
        if address.lower() in refused:
            return '550 5.1.1 <%s>: Recipient address rejected' % address
        if address.lower() in deferred():
            return '450 4.2.1 <%s>: Mailbox busy, try again later' % address
        envelope.rcpt_tos.append(address)
        return '250 2.1.5 OK'
    async def handle_DATA(self, server, session, envelope):
        if marked('refuse-messages'):
            return '554 5.7.1 Message refused as spam'
        if marked('defer-messages'):
            return '451 4.7.1 Greylisted, try again later'
        if marked('hang-up-in-data'):
            server.transport.close()
            return '421 4.3.0 Closing'
        Handler.count += 1
        base = os.path.join(directory, 'msg-%04d' % Handler.count)
        with open(base + '.from', 'w') as f:
            f.write(envelope.mail_from)
        with open(base + '.rcpt', 'w') as f:
            f.write(''.join(r + '\n' for r in envelope.rcpt_tos))
        with open(base + '.tmp', 'wb') as f:
            f.write(envelope.original_content)
        os.rename(base + '.tmp', base + '.eml')
        return '250 2.0.0 Message accepted'

options = {}
if cert:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    options['tls_context'] = context
controller = SinkController(Handler(), hostname='127.0.0.1', port=port, **options)
controller.start()
print('READY', flush=True)
stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *args: stop.set())
stop.wait()
controller.stop()
)PY";

quint16 unusedPort()
{
    QTcpServer server;
    server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return server.serverPort();
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

SmtpSink::SmtpSink(const QStringList& refusedRecipients, const QString& certificateFile, const QString& keyFile)
{
    QFile script(m_directory.filePath(u"sink.py"_s));
    script.open(QIODevice::WriteOnly);
    script.write(sinkScript);
    script.close();
    QDir().mkpath(m_directory.filePath(u"messages"_s));
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = unusedPort();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // A test that is killed must not leave the server running.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(u"/usr/bin/python3"_s,
                        QStringList{script.fileName(), QString::number(m_port), m_directory.filePath(u"messages"_s),
                                    certificateFile, keyFile} +
                            refusedRecipients);
        QByteArray output;
        for (const QDeadlineTimer deadline(10000); m_process.state() != QProcess::NotRunning;) {
            output += m_process.readAll();
            if (output.contains("READY")) {
                m_error.clear();
                return;
            }
            if (deadline.hasExpired()) {
                m_process.kill();
            }
            m_process.waitForReadyRead(20);
        }
        m_error = u"the SMTP sink does not start on 127.0.0.1:%1 (scripts/install-deps.sh --with-tests installs "
                  u"python3-aiosmtpd): %2 %3"_s.arg(QString::number(m_port), m_process.errorString(),
                                                    QString::fromLocal8Bit(output + m_process.readAll()).trimmed());
    }
}

SmtpSink::~SmtpSink()
{
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QList<SmtpSink::Message> SmtpSink::messages() const
{
    QList<Message> result;
    const QDir directory(m_directory.filePath(u"messages"_s));
    for (const QString& name : directory.entryList({u"*.eml"_s}, QDir::Files, QDir::Name)) {
        const QString base = directory.filePath(name.chopped(4));
        auto read = [](const QString& path) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            return file.readAll();
        };
        Message message;
        message.sender = QString::fromUtf8(read(base + u".from"_s));
        message.recipients = QString::fromUtf8(read(base + u".rcpt"_s)).split(u'\n', Qt::SkipEmptyParts);
        message.data = read(base + u".eml"_s);
        result.append(message);
    }
    return result;
}

void SmtpSink::clear()
{
    QDir directory(m_directory.filePath(u"messages"_s));
    for (const QString& name : directory.entryList(QDir::Files)) {
        directory.remove(name);
    }
}

QByteArray decodeQuotedPrintable(QByteArrayView encoded)
{
    QByteArray decoded;
    decoded.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c != '=') {
            decoded += c;
            continue;
        }
        if (encoded.sliced(i + 1).startsWith("\r\n")) {
            i += 2;
        } else if (encoded.sliced(i + 1).startsWith("\n")) {
            i += 1;
        } else if (i + 2 < encoded.size() && hexValue(encoded[i + 1]) >= 0 && hexValue(encoded[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(encoded[i + 1]) * 16 + hexValue(encoded[i + 2]));
            i += 2;
        } else {
            decoded += c;
        }
    }
    return decoded;
}

namespace {

const char* markerOf(SmtpSink::Behaviour behaviour)
{
    switch (behaviour) {
    case SmtpSink::Behaviour::Accept:
        return nullptr;
    case SmtpSink::Behaviour::RefuseMessages:
        return "refuse-messages";
    case SmtpSink::Behaviour::HangUpInData:
        return "hang-up-in-data";
    case SmtpSink::Behaviour::DeferMessages:
        return "defer-messages";
    case SmtpSink::Behaviour::DeferData:
        return "defer-data";
    case SmtpSink::Behaviour::RefuseData:
        return "refuse-data";
    }
    return nullptr;
}

} // namespace

void SmtpSink::setBehaviour(Behaviour behaviour)
{
    for (const char* marker : {"refuse-messages", "hang-up-in-data", "defer-messages", "defer-data", "refuse-data"}) {
        QFile::remove(m_directory.filePath(u"messages/"_s + QString::fromLatin1(marker)));
    }
    if (const char* marker = markerOf(behaviour); marker != nullptr) {
        QFile file(m_directory.filePath(u"messages/"_s + QString::fromLatin1(marker)));
        file.open(QIODevice::WriteOnly);
    }
}

void SmtpSink::setDeferredRecipients(const QStringList& recipients)
{
    QFile file(m_directory.filePath(u"messages/deferred-recipients"_s));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(recipients.join(u'\n').toUtf8() + '\n');
}
