// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/DovecotServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

quint16 unusedPort()
{
    QTcpServer server;
    server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return server.serverPort();
}

bool greets(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    return socket.waitForConnected(200) && socket.waitForReadyRead(500) && socket.readAll().startsWith("* OK");
}

// Dovecot 2.3's list after log-in, without UIDPLUS: imap_capability replaces
// the whole list.
constexpr char withoutUidPlus[] =
    "IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE SORT SORT=DISPLAY THREAD=REFERENCES THREAD=REFS "
    "THREAD=ORDEREDSUBJECT MULTIAPPEND URL-PARTIAL CATENATE UNSELECT CHILDREN NAMESPACE LIST-EXTENDED "
    "I18NLEVEL=1 CONDSTORE QRESYNC ESEARCH ESORT SEARCHRES WITHIN CONTEXT=SEARCH LIST-STATUS BINARY MOVE "
    "SNIPPET=FUZZY PREVIEW=FUZZY PREVIEW STATUS=SIZE SAVEDATE LITERAL+ NOTIFY";

QString loginName()
{
    const passwd* entry = ::getpwuid(::geteuid());
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

} // namespace

DovecotServer::DovecotServer(const QString& user, const QString& password, Capabilities capabilities)
    : m_user(user)
    , m_password(password)
{
    const QString base = m_directory.path();
    m_certificates = TestCertificates::make(base);
    if (!m_certificates.error.isEmpty()) {
        m_error = m_certificates.error;
        return;
    }
    m_asRoot = ::geteuid() == 0;
    // Dovecot's own users (dovecot, nobody) must reach the files inside.
    QFile::setPermissions(base, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                    QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                    QFileDevice::ExeOther);
    for (const QString& sub : {u"/run"_s, u"/state"_s, u"/mail"_s}) {
        QDir().mkpath(base + sub);
    }
    QFile users(base + u"/users"_s);
    users.open(QIODevice::WriteOnly);
    users.write((user + u":{PLAIN}"_s + password + u'\n').toUtf8());
    users.close();

    // Dovecot refuses to read mail as root: as root the mail belongs to nobody;
    // as another user, every service runs as that user.
    const QString mailUser = m_asRoot ? u"nobody"_s : loginName();
    const QString mailGroup = m_asRoot ? u"nogroup"_s : QString::number(::getegid());
    QString extra = m_asRoot ? QString()
                             : u"default_internal_user = %1\ndefault_internal_group = %2\n"
                               u"default_login_user = %1\n"_s.arg(loginName(), mailGroup);
    if (capabilities == Capabilities::WithoutUidPlus) {
        extra += u"imap_capability = "_s + QLatin1StringView(withoutUidPlus) + u'\n';
    }
    // The user's Maildir is there from the start: the mail user could not make
    // it below the temporary folder, which belongs to this process's user.
    makeFolder(QString());
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_imapPort = unusedPort();
        m_imapsPort = unusedPort();
        QFile config(base + u"/dovecot.conf"_s);
        config.open(QIODevice::WriteOnly | QIODevice::Truncate);
        config.write(QString(u"base_dir = %1/run\n"
                             u"state_dir = %1/state\n"
                             u"log_path = %1/dovecot.log\n"
                             u"listen = 127.0.0.1\n"
                             u"protocols = imap\n"
                             u"ssl = yes\n"
                             u"ssl_cert = <%2\n"
                             u"ssl_key = <%3\n"
                             u"disable_plaintext_auth = no\n"
                             u"auth_mechanisms = plain login\n"
                             u"auth_failure_delay = 0\n"
                             // No growing penalty for failed log-ins: the tests fail some on purpose.
                             u"service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n"
                             u"passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1/users\n}\n"
                             u"userdb {\n  driver = static\n  args = uid=%4 gid=%5 home=%1/mail/%u\n}\n"
                             u"mail_location = maildir:%1/mail/%u/Maildir\n"
                             u"service imap-login {\n"
                             u"  inet_listener imap {\n    address = 127.0.0.1\n    port = %6\n  }\n"
                             u"  inet_listener imaps {\n    address = 127.0.0.1\n    port = %7\n  }\n"
                             u"}\n"
                             u"%8"_s)
                         .arg(base, m_certificates.certificateFile, m_certificates.keyFile, mailUser, mailGroup)
                         .arg(m_imapPort)
                         .arg(m_imapsPort)
                         .arg(extra)
                         .toUtf8());
        config.close();
        if (start()) {
            m_error.clear();
            return;
        }
        QFile log(base + u"/dovecot.log"_s);
        log.open(QIODevice::ReadOnly);
        m_error = u"dovecot does not answer on 127.0.0.1:%1 (scripts/install-deps.sh --with-tests installs "
                  u"dovecot-imapd): %2 %3 %4"_s.arg(QString::number(m_imapPort), m_process.errorString(),
                                                    QString::fromLocal8Bit(m_process.readAll()).trimmed(),
                                                    QString::fromLocal8Bit(log.readAll().right(2000)));
    }
}

DovecotServer::~DovecotServer()
{
    stop();
}

bool DovecotServer::start()
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // A test that is killed must not leave the server running.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(u"/usr/sbin/dovecot"_s, {u"-F"_s, u"-c"_s, m_directory.filePath(u"dovecot.conf"_s)});
    for (const QDeadlineTimer deadline(5000); m_process.state() != QProcess::NotRunning;) {
        if (greets(m_imapPort)) {
            return true;
        }
        if (deadline.hasExpired()) {
            m_process.kill();
        }
        m_process.waitForFinished(10);
    }
    return false;
}

void DovecotServer::stop()
{
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QString DovecotServer::folderPath(const QString& folder) const
{
    const QString root = m_directory.path() + u"/mail/"_s + m_user + u"/Maildir"_s;
    if (folder.isEmpty() || folder.compare(u"INBOX", Qt::CaseInsensitive) == 0) {
        return root;
    }
    return root + u"/."_s + QString(folder).replace(u'/', u'.');
}

void DovecotServer::handOver(const QString& path) const
{
    if (!m_asRoot) {
        return;
    }
    static const passwd* nobody = ::getpwnam("nobody");
    static const group* nogroup = ::getgrnam("nogroup");
    if (nobody != nullptr && nogroup != nullptr) {
        [[maybe_unused]] const int result =
            ::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nogroup->gr_gid);
    }
}

QString DovecotServer::makeFolder(const QString& folder) const
{
    const QString directory = folderPath(folder);
    // Every directory from the user's home down must belong to the mail user.
    QString path = m_directory.path() + u"/mail"_s;
    for (const QString& part : QString(directory).remove(0, path.size()).split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + part;
        if (!QFileInfo::exists(path)) {
            QDir().mkdir(path);
            handOver(path);
        }
    }
    for (const QString& sub : {u"/cur"_s, u"/new"_s, u"/tmp"_s}) {
        if (!QFileInfo::exists(directory + sub)) {
            QDir().mkdir(directory + sub);
            handOver(directory + sub);
        }
    }
    if (directory != folderPath(QString()) && !QFileInfo::exists(directory + u"/maildirfolder"_s)) {
        QFile marker(directory + u"/maildirfolder"_s);
        marker.open(QIODevice::WriteOnly);
        marker.close();
        handOver(marker.fileName());
    }
    return directory;
}

void DovecotServer::deliver(const QString& folder, const QString& uniqueName, const QByteArray& message)
{
    const QString directory = makeFolder(folder);
    // Written in tmp/, then moved to new/, as a delivery agent does.
    QFile file(directory + u"/tmp/"_s + uniqueName);
    file.open(QIODevice::WriteOnly);
    file.write(message);
    file.close();
    handOver(file.fileName());
    file.rename(directory + (uniqueName.contains(u":2,"_s) ? u"/cur/"_s : u"/new/"_s) + uniqueName);
}

QStringList DovecotServer::messageFiles(const QString& folder) const
{
    const QString directory = folderPath(folder);
    QStringList files;
    for (const QString& sub : {u"/cur"_s, u"/new"_s}) {
        files += QDir(directory + sub).entryList(QDir::Files);
    }
    files.sort();
    return files;
}

QString DovecotServer::log() const
{
    QFile file(m_directory.filePath(u"dovecot.log"_s));
    file.open(QIODevice::ReadOnly);
    return QString::fromLocal8Bit(file.readAll().right(3000));
}

QString DovecotServer::imapCommands(const QString& folder, const QByteArrayList& commands) const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), m_imapPort);
    // Reads up to the line that starts with `tag`; that line's status, or why none came.
    auto await = [&](const QByteArray& tag) -> QString {
        for (;;) {
            while (socket.canReadLine()) {
                const QByteArray line = socket.readLine();
                if (line.startsWith(QByteArray(tag + ' '))) {
                    return line.sliced(tag.size() + 1).startsWith("OK") ? QString() : QString::fromUtf8(line).trimmed();
                }
            }
            if (!socket.waitForReadyRead(5000)) {
                return u"no answer from 127.0.0.1:%1: %2"_s.arg(m_imapPort).arg(socket.errorString());
            }
        }
    };
    auto quoted = [](const QString& text) -> QByteArray {
        return '"' + text.toUtf8().replace('\\', "\\\\").replace('"', "\\\"") + '"';
    };
    QByteArrayList lines = {"LOGIN " + quoted(m_user) + ' ' + quoted(m_password),
                            "SELECT " + quoted(QString(folder).replace(u'/', u'.'))};
    lines += commands;
    lines += "LOGOUT";
    QString error = socket.waitForConnected(2000) ? await("*") : socket.errorString();
    for (qsizetype i = 0; i < lines.size() && error.isEmpty(); ++i) {
        const QByteArray tag = 'x' + QByteArray::number(i);
        socket.write(tag + ' ' + lines[i] + "\r\n");
        error = await(tag);
    }
    return error;
}
