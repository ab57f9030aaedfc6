// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/FolderName.h"
#include "mailbox/MailError.h"

#include <QByteArrayView>
#include <QString>
#include <QUrl>

#include <optional>

/// The mail account: where spam is taken from and how complaints leave.
/// Read from the [store], [transport], [tls] and [network] sections of
/// zelkor.conf; other sections of that file belong to other parts of the program.
struct MailSettings
{
    QUrl storeUrl;                            ///< imap://, imaps:// or maildir://localhost/PATH
    QString folder;                           ///< the source folder, "/" between levels
    QString unreportedFolder;                 ///< where the batch puts messages it could not report (empty: none)
    QString trashFolder;                      ///< where the batch puts reported messages (empty: delete them)
    QUrl transportUrl;                        ///< smtp://, smtps:// or sendmail://localhost
    QString from;                             ///< the sender, "Name <address>" or an address
    bool tlsRequired = true;                  ///< imap:// and smtp:// must switch to TLS (STARTTLS)
    QString caFile;                           ///< extra trusted certificates (PEM), besides the system's
    int timeoutMs = 30000;                    ///< the longest silence of a server within one operation
    std::optional<QString> storePassword;     ///< a [store] password= key (file readable by its owner only)
    std::optional<QString> transportPassword; ///< a [transport] password= key
    QString sendmailPath = QStringLiteral("/usr/sbin/sendmail"); ///< the program behind sendmail://

    /// How the store reads folder names: a maildir:// store by the Maildir++
    /// rules, every other by IMAP's.
    foldername::Rules folderRules() const;

    /// The account when there is no settings file: the Maildir ~/Maildir with its
    /// folder Junk, and the local sendmail with the login name as sender.
    static MailSettings defaults();

    /// $XDG_CONFIG_HOME/zelkor/zelkor.conf, or ~/.config/zelkor/zelkor.conf when
    /// the variable is unset or empty.
    static QString defaultPath();

    /// Reads the file at `path`; a missing file gives the defaults. An error
    /// names the file, the section and the key.
    static MailResult<MailSettings> load(const QString& path);

    /// Reads settings from the text of a file. Values are taken whole (commas
    /// included); a value in double quotes keeps blanks and ";"; otherwise a ";"
    /// or "#" after a blank starts a comment. `ownerOnly` tells whether the
    /// file is readable by its owner alone, which a password= key requires.
    /// A [store] trash or unreported folder that opens the source folder (under
    /// any spelling, by the store's folder rules), or lies inside it or around
    /// it, is refused: a message put there would be loaded and reported again.
    static MailResult<MailSettings> parse(QByteArrayView text, const QString& fileName, bool ownerOnly);
};

/// Whether a connection to `url` must switch to TLS: when the settings require
/// it, and also when a user name would send a password to a host other than
/// this machine. A password must not cross the network in plain text because
/// an attacker between us and the server struck STARTTLS off its greeting.
bool mustSwitchToTls(const QUrl& url, bool tlsRequired);
