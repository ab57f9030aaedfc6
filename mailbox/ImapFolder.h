// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/StoreBackend.h"
#include "mailbox/VmimeSupport.h"

#include <QUrl>

#include <vmime/net/imap/IMAPFolder.hpp>
#include <vmime/net/imap/IMAPStore.hpp>

/// A folder on an IMAP server through vmime. vmime opens a second connection
/// for a selected folder; reading goes through that one, the expunge of a
/// single UID through the store's own connection (vmime has no call for it).
class ImapFolder final : public StoreBackend
{
public:
    ImapFolder(const QUrl& url, const QString& folder, bool tlsRequired, const vmimesupport::ServiceOptions& options,
               const std::optional<QString>& password);
    ~ImapFolder() override;

    void open() override;
    void close() override;
    QString caption() const override;
    std::optional<QString> oldest() override;
    QByteArray raw(const QString& entryId) override;
    void remove(const QString& entryId) override;
    void move(const QString& entryId, const QString& folder) override;

private:
    QUrl m_url;
    QString m_folderName;
    bool m_tlsRequired;
    vmimesupport::ServiceOptions m_options;
    std::optional<QString> m_password;
    vmime::shared_ptr<vmime::net::imap::IMAPStore> m_store;
    vmime::shared_ptr<vmime::net::imap::IMAPFolder> m_folder;
    bool m_storeSelected = false;

    vmime::net::folder::path pathOf(const QString& folder) const;
    vmime::shared_ptr<vmime::net::message> find(const QString& entryId);
    void simpleCommand(const std::string& command);
};
