// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QTemporaryDir>

/// Keeps a mail test away from the machine's own account for the lifetime of
/// the object: XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_DATA_HOME (the
/// journal) point into a temporary
/// folder, there is no secret store (no D-Bus session) and no password
/// variable, so nothing falls back to ~/Maildir, sendmail or a real password.
class MailTestEnvironment final
{
public:
    MailTestEnvironment();
    Q_DISABLE_COPY_MOVE(MailTestEnvironment)

    /// The settings file the mail layer reads in this environment.
    QString configFile() const;

    /// Writes the settings file with the given permissions.
    void writeConfig(const QByteArray& text,
                     QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    /// A directory of the test's own, made empty.
    QString path() const { return m_directory.path(); }

private:
    QTemporaryDir m_directory;
};

/// A Maildir++ delivery: writes `message` as FOLDER/new/NAME (or FOLDER/cur/NAME
/// when the name carries ":2," flags), creating the folder and its marker.
QString deliverToMaildir(const QString& folderDirectory, const QString& fileName, const QByteArray& message);

/// The bytes of a file in tests/data/mail.
QByteArray testMessage(const QString& name);
