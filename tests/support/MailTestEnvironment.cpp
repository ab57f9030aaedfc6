// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/MailTestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

MailTestEnvironment::MailTestEnvironment()
{
    QDir().mkpath(m_directory.filePath(u"config/zelkor"_s));
    QDir().mkpath(m_directory.filePath(u"cache"_s));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_directory.filePath(u"config"_s)));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_directory.filePath(u"cache"_s)));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_directory.filePath(u"data"_s)));
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("ZELKOR_MAIL_PASSWORD");
    qunsetenv("ZELKOR_SMTP_PASSWORD");
}

QString MailTestEnvironment::configFile() const
{
    return m_directory.filePath(u"config/zelkor/zelkor.conf"_s);
}

void MailTestEnvironment::writeConfig(const QByteArray& text, QFileDevice::Permissions permissions)
{
    QFile file(configFile());
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text);
    file.close();
    file.setPermissions(permissions);
}

QString deliverToMaildir(const QString& folderDirectory, const QString& fileName, const QByteArray& message)
{
    for (const QString& sub : {u"/cur"_s, u"/new"_s, u"/tmp"_s}) {
        QDir().mkpath(folderDirectory + sub);
    }
    if (QFileInfo(folderDirectory).fileName().startsWith(u'.')) {
        QFile marker(folderDirectory + u"/maildirfolder"_s);
        marker.open(QIODevice::WriteOnly);
    }
    const QString path = folderDirectory + (fileName.contains(u":2,"_s) ? u"/cur/"_s : u"/new/"_s) + fileName;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(message);
    return path;
}

QByteArray testMessage(const QString& name)
{
    QFile file(QStringLiteral(ZELKOR_TEST_DATA_DIR) + u"/mail/"_s + name);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}
