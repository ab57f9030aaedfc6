// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailbox/StoreBackend.h"
#include "mailbox/VmimeSupport.h"

#include <QUrl>

#include <memory>
#include <vmime/net/imap/IMAPFolder.hpp>
#include <vmime/net/imap/IMAPParser.hpp>
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
    /// Connects and EXAMINEs the folder on the store's connection; vmime's own
    /// folder connection is not opened.
    void openReadOnly() override;
    void close() override;
    QString caption() const override;
    std::optional<QString> oldest() override;
    QByteArray raw(const QString& entryId) override;
    void remove(const QString& entryId) override;
    void move(const QString& entryId, const QString& folder) override;
    /// Newest by sequence number (the order of arrival), fetched with
    /// BODY.PEEK[HEADER]: the raw bytes, and \Seen stays as it was.
    QList<QByteArray> newestHeaders(qsizetype count) override;

private:
    QUrl m_url;
    QString m_folderName;
    bool m_tlsRequired;
    vmimesupport::ServiceOptions m_options;
    std::optional<QString> m_password;
    vmime::shared_ptr<vmime::net::imap::IMAPStore> m_store;
    vmime::shared_ptr<vmime::net::imap::IMAPFolder> m_folder;
    bool m_storeSelected = false;
    /// After openReadOnly: the message count EXAMINE reported (nullopt: not examined).
    std::optional<size_t> m_examinedCount;

    vmime::net::folder::path pathOf(const QString& folder) const;
    vmime::shared_ptr<vmime::net::message> find(const QString& entryId);
    void connectStore();
    std::string mailboxName(const vmime::net::folder::path& path) const;
    /// Sends a command on the store's connection; its answer, which must be OK.
    std::unique_ptr<vmime::net::imap::IMAPParser::response> command(const std::string& text);
    void simpleCommand(const std::string& command);
};
