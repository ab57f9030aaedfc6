// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/TestCertificates.h"

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>

/// A Dovecot IMAP server on 127.0.0.1 for one user, run in the foreground with
/// a configuration of its own in a temporary folder, for the lifetime of the
/// object: plain IMAP with STARTTLS, and IMAPS, both with a certificate of a
/// test CA. Messages are put straight into the user's Maildir.
class DovecotServer final
{
public:
    enum class Capabilities
    {
        All,            ///< what Dovecot announces, UIDPLUS (UID EXPUNGE) among it
        WithoutUidPlus, ///< the same list without UIDPLUS, as older servers have it
    };

    DovecotServer(const QString& user, const QString& password, Capabilities capabilities = Capabilities::All);
    ~DovecotServer();
    Q_DISABLE_COPY_MOVE(DovecotServer)

    /// Stops the server: connections are refused until `start`.
    void stop();
    /// Starts the stopped server again on the same ports; true once it answers.
    bool start();

    /// Empty text when the server answers, else why it does not.
    QString errorString() const { return m_error; }

    quint16 imapPort() const { return m_imapPort; }
    quint16 imapsPort() const { return m_imapsPort; }
    const TestCertificates& certificates() const { return m_certificates; }

    /// The folder's directory in the user's Maildir ("" or "INBOX" is the top).
    QString folderPath(const QString& folder) const;

    /// Writes a message into the folder's new/ under `uniqueName` (creating the
    /// folder), owned by the user the server reads mail as.
    void deliver(const QString& folder, const QString& uniqueName, const QByteArray& message);

    /// The end of the server's log, for a failing test to show.
    QString log() const;

    /// The names of the folder's message files, in cur/ and new/.
    QStringList messageFiles(const QString& folder) const;

    /// Another mail program at work: logs in as the user on a connection of its
    /// own (plain IMAP), selects `folder` and sends each command in turn
    /// ("STORE 1 +FLAGS (\\Deleted)", "EXPUNGE"). Empty text when every command
    /// was answered OK, else the server's answer or why there was none.
    QString imapCommands(const QString& folder, const QByteArrayList& commands) const;

private:
    QTemporaryDir m_directory;
    QString m_user;
    QString m_password;
    QProcess m_process;
    TestCertificates m_certificates;
    quint16 m_imapPort = 0;
    quint16 m_imapsPort = 0;
    QString m_error;
    bool m_asRoot = false;

    void handOver(const QString& path) const;
    /// Makes the folder's directories, owned by the mail user; its directory.
    QString makeFolder(const QString& folder) const;
};
