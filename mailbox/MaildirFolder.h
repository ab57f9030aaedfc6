// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/StoreBackend.h"

#include <QDir>
#include <QHash>

/// A folder of a Maildir++ tree (the layout Dovecot and Courier use: the top
/// folder is the inbox, "Junk" is ".Junk", "A/B" is ".A.B"), read and written
/// with plain file operations.
class MaildirFolder final : public StoreBackend
{
public:
    MaildirFolder(const QString& root, const QString& folder);

    void open() override;
    /// Reading a Maildir renames nothing: the same as open.
    void openReadOnly() override { open(); }
    void close() override {}
    QString caption() const override;
    std::optional<QString> oldest() override;
    QByteArray raw(const QString& entryId) override;
    void remove(const QString& entryId) override;
    void move(const QString& entryId, const QString& folder) override;
    /// Newest by the delivery time of the unique name, else the file's
    /// modification time; files are read, never renamed.
    QList<QByteArray> newestHeaders(qsizetype count) override;

    /// The seconds and microseconds of delivery that a unique name
    /// ("1733500000.M123456P42Q1.host") tells; nullopt when it tells none.
    static std::optional<qint64> deliveryMicroseconds(QStringView uniqueName);

private:
    QString m_root;
    QString m_folder;
    QString m_directory;
    QHash<QString, QString> m_paths; // EntryID → file, from the last look at the folder

    QString folderDirectory(const QString& folder) const;
    template <typename Visit>
    static void forEachMessage(const QString& maildir, Visit visit);
    QString locate(const QString& entryId);
};
