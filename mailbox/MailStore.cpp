// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MailStore.h"

#include "mailbox/ImapFolder.h"
#include "mailbox/MaildirFolder.h"
#include "mailbox/MessageText.h"

using namespace Qt::StringLiterals;

namespace {

MailError run(const QString& where, int timeoutMs, const std::function<void()>& work)
{
    return vmimesupport::guarded(where, timeoutMs, work);
}

MailError notOpen()
{
    return {MailFailure::Other, u"no mail session is open"_s};
}

} // namespace

MailStore::MailStore(MailSettings settings, std::optional<QString> password)
    : m_settings(std::move(settings))
    , m_password(std::move(password))
{}

MailStore::~MailStore()
{
    close();
}

QString MailStore::location() const
{
    const QUrl& url = m_settings.storeUrl;
    if (url.scheme() == u"maildir") {
        return u"the Maildir "_s + url.path();
    }
    const int port = url.port(url.scheme() == u"imaps" ? 993 : 143);
    return u"the IMAP server %1:%2"_s.arg(url.host()).arg(port);
}

MailError MailStore::makeBackend(const QString& folder, std::unique_ptr<StoreBackend>& backend) const
{
    const QUrl& url = m_settings.storeUrl;
    if (url.scheme() == u"maildir") {
        backend = std::make_unique<MaildirFolder>(url.path(), folder);
    } else if (url.scheme() == u"imap" || url.scheme() == u"imaps") {
        if (!url.userName().isEmpty() && !m_password) {
            return {MailFailure::Login, u"no password for %1 (set one with zelkor-report --set-password store, or in "
                                        u"ZELKOR_MAIL_PASSWORD)"_s.arg(url.toDisplayString(QUrl::RemovePassword))};
        }
        backend = std::make_unique<ImapFolder>(url, folder, m_settings.tlsRequired,
                                               vmimesupport::ServiceOptions{m_settings.timeoutMs, m_settings.caFile},
                                               m_password);
    } else {
        return {MailFailure::Settings,
                u"the store address %1 is neither IMAP nor a Maildir"_s.arg(url.toDisplayString(QUrl::RemovePassword))};
    }
    return {};
}

MailError MailStore::open()
{
    close();
    std::unique_ptr<StoreBackend> backend;
    if (MailError error = makeBackend(m_settings.folder, backend)) {
        return error;
    }
    MailError error = run(location(), m_settings.timeoutMs, [&] { backend->open(); });
    if (error) {
        return error;
    }
    m_backend = std::move(backend);
    return {};
}

void MailStore::close()
{
    m_cachedId.clear();
    m_cachedRaw.clear();
    if (m_backend) {
        // Closing a broken connection can fail; the session ends all the same.
        (void)run(location(), m_settings.timeoutMs, [&] { m_backend->close(); });
        m_backend.reset();
    }
}

bool MailStore::isOpen() const
{
    return m_backend != nullptr;
}

QString MailStore::caption() const
{
    return m_backend ? m_backend->caption() : QString();
}

MailResult<QByteArray> MailStore::raw(const QString& entryId)
{
    if (!m_backend) {
        return notOpen();
    }
    // The selection has just fetched the message; the header is taken from
    // the same bytes without asking the server again.
    if (entryId == m_cachedId && !m_cachedId.isEmpty()) {
        return m_cachedRaw;
    }
    QByteArray bytes;
    if (MailError error = run(location(), m_settings.timeoutMs, [&] { bytes = m_backend->raw(entryId); })) {
        return error;
    }
    m_cachedId = entryId;
    m_cachedRaw = bytes;
    return bytes;
}

MailResult<std::vector<MailItem>> MailStore::selection()
{
    if (!m_backend) {
        return notOpen();
    }
    std::optional<QString> oldest;
    if (MailError error = run(location(), m_settings.timeoutMs, [&] { oldest = m_backend->oldest(); })) {
        return error;
    }
    std::vector<MailItem> items;
    if (oldest) {
        MailResult<MailItem> found = item(*oldest);
        if (!found.ok()) {
            return found.error();
        }
        items.push_back(std::move(found.value()));
    }
    return items;
}

MailResult<MailItem> MailStore::item(const QString& entryId)
{
    MailResult<QByteArray> bytes = raw(entryId);
    if (!bytes.ok()) {
        return bytes.error();
    }
    MailItem result;
    if (MailError error =
            run(location(), m_settings.timeoutMs, [&] { result = parseMailItem(bytes.value(), entryId); })) {
        return error;
    }
    return result;
}

MailResult<QString> MailStore::GetMessage(const QString& entryId)
{
    MailResult<QByteArray> bytes = raw(entryId);
    if (!bytes.ok()) {
        return bytes.error();
    }
    return SplitMessage(bytes.value()).header;
}

MailError MailStore::Delete(const QString& entryId)
{
    if (!m_backend) {
        return notOpen();
    }
    m_cachedId.clear();
    return run(location(), m_settings.timeoutMs, [&] { m_backend->remove(entryId); });
}

MailError MailStore::Move(const QString& entryId, const QString& folder)
{
    if (!m_backend) {
        return notOpen();
    }
    // Moved into its own folder, a message would stay and be loaded again.
    if (foldername::sameFolder(m_settings.folderRules(), folder, m_settings.folder)) {
        return {MailFailure::Settings, u"\"%1\" is the source folder \"%2\" itself"_s.arg(folder, m_settings.folder)};
    }
    m_cachedId.clear();
    return run(location(), m_settings.timeoutMs, [&] { m_backend->move(entryId, folder); });
}

MailResult<QStringList> MailStore::newestHeaders(const QString& folder, qsizetype count)
{
    std::unique_ptr<StoreBackend> backend;
    if (MailError error = makeBackend(folder, backend)) {
        return error;
    }
    QList<QByteArray> raw;
    if (MailError error = run(location(), m_settings.timeoutMs, [&] {
            backend->openReadOnly();
            raw = backend->newestHeaders(count);
        })) {
        (void)run(location(), m_settings.timeoutMs, [&] { backend->close(); });
        return error;
    }
    // The headers are in hand: a failing goodbye changes nothing about them.
    (void)run(location(), m_settings.timeoutMs, [&] { backend->close(); });
    QStringList headers;
    for (const QByteArray& bytes : std::as_const(raw)) {
        headers.append(SplitMessage(bytes).header);
    }
    return headers;
}
