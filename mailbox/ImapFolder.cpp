// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/ImapFolder.h"

#include "mailbox/FolderName.h"

#include <algorithm>
#include <vmime/net/imap/IMAPCommand.hpp>
#include <vmime/net/imap/IMAPConnection.hpp>
#include <vmime/net/imap/IMAPUtils.hpp>

using namespace Qt::StringLiterals;
namespace net = vmime::net;
using IMAPParser = vmime::net::imap::IMAPParser;

namespace {

// "UIDVALIDITY/UID": a UID names a message only together with the validity of
// its folder's UIDs.
QString entryIdOf(vmime_uint32 validity, const net::message::uid& uid)
{
    return QString::number(validity) + u'/' + QString::fromStdString(uid);
}

MailError goneError(const QString& entryId)
{
    return {MailFailure::MessageGone, u"the message %1 is no longer in the folder"_s.arg(entryId)};
}

} // namespace

ImapFolder::ImapFolder(const QUrl& url, const QString& folder, bool tlsRequired,
                       const vmimesupport::ServiceOptions& options, const std::optional<QString>& password)
    : m_url(url)
    , m_folderName(folder)
    , m_tlsRequired(tlsRequired)
    , m_options(options)
    , m_password(password)
{}

ImapFolder::~ImapFolder()
{
    try {
        close();
    } catch (...) {
        // A connection that is already broken needs no goodbye.
    }
}

net::folder::path ImapFolder::pathOf(const QString& folder) const
{
    const QStringList levels = foldername::levels(foldername::Rules::Imap, folder);
    if (levels.isEmpty()) {
        // vmime would take the empty path for the server's root, which holds no messages.
        throw MailException({MailFailure::Settings, u"the folder name \"%1\" names no folder"_s.arg(folder)});
    }
    net::folder::path path;
    for (const QString& level : levels) {
        path.appendComponent(net::folder::path::component(vmimesupport::toUtf8(level), vmime::charsets::UTF_8));
    }
    return path;
}

void ImapFolder::connectStore()
{
    close();
    vmimesupport::initialise();
    const bool secure = m_url.scheme() == u"imaps";
    const int port = m_url.port(secure ? 993 : 143);
    auto session = net::session::create();
    vmime::utility::url address(vmimesupport::toUtf8(m_url.scheme()), vmimesupport::toUtf8(m_url.host()), port);
    m_store = vmime::dynamicCast<net::imap::IMAPStore>(session->getStore(address));
    vmimesupport::configureService(m_store, m_url, m_tlsRequired, m_options, m_password);
    m_store->connect();
    m_folder = vmime::dynamicCast<net::imap::IMAPFolder>(m_store->getFolder(pathOf(m_folderName)));
    if (!m_folder->exists()) {
        throw MailException(
            {MailFailure::Settings,
             u"the folder \"%1\" does not exist on the IMAP server %2:%3"_s.arg(m_folderName, m_url.host()).arg(port)});
    }
}

void ImapFolder::open()
{
    connectStore();
    m_folder->open(net::folder::MODE_READ_WRITE);
}

void ImapFolder::openReadOnly()
{
    connectStore();
    // vmime's folder would open a second connection; everything here goes
    // over the store's, which has nothing selected yet.
    const std::unique_ptr<IMAPParser::response> answer = command("EXAMINE " + mailboxName(m_folder->getFullPath()));
    size_t count = 0;
    for (const auto* data : answer->continue_req_or_response_data()) {
        const IMAPParser::response_data* response = data->response_data();
        if (response != nullptr && response->mailbox_data() != nullptr &&
            response->mailbox_data()->type() == IMAPParser::mailbox_data::EXISTS) {
            count = response->mailbox_data()->number()->value();
        }
    }
    m_examinedCount = count;
}

void ImapFolder::close()
{
    m_storeSelected = false;
    m_examinedCount.reset();
    if (m_folder && m_folder->isOpen()) {
        m_folder->close(false);
    }
    m_folder.reset();
    if (m_store && m_store->isConnected()) {
        m_store->disconnect();
    }
    m_store.reset();
}

QString ImapFolder::caption() const
{
    const QString shown = foldername::shownName(foldername::Rules::Imap, m_folderName);
    const QString account = m_url.userName().isEmpty() ? m_url.host() : m_url.userName() + u'@' + m_url.host();
    return shown + u" - "_s + account;
}

std::optional<QString> ImapFolder::oldest()
{
    // NOOP lets the server report messages that came or went since the last
    // command, so the sequence numbers below are current.
    m_folder->noop();
    // vmime does not lower its message count on the server's EXPUNGE
    // notices; STATUS asks the server for the true count.
    const size_t count = m_folder->getStatus()->getMessageCount();
    const net::fetchAttributes attributes(net::fetchAttributes::UID | net::fetchAttributes::FLAGS);
    // Ask for the first message by sequence number; step on past messages
    // flagged \Deleted in growing batches, so a folder full of them costs a few
    // round trips and a normal one exactly one.
    size_t batch = 1;
    for (size_t first = 1; first <= count; first += batch, batch = std::min<size_t>(batch * 8, 512)) {
        const size_t last = std::min(count, first + batch - 1);
        auto messages = m_folder->getMessages(net::messageSet::byNumber(first, last));
        m_folder->fetchMessages(messages, attributes);
        for (const auto& message : messages) {
            if ((message->getFlags() & net::message::FLAG_DELETED) == 0) {
                return entryIdOf(m_folder->getUIDValidity(), message->getUID());
            }
        }
    }
    return std::nullopt;
}

vmime::shared_ptr<net::message> ImapFolder::find(const QString& entryId)
{
    const QString validity = entryId.section(u'/', 0, 0);
    const QString uid = entryId.section(u'/', 1);
    // Digits only: the UID goes into command lines as it stands.
    const bool digits =
        !uid.isEmpty() && std::all_of(uid.cbegin(), uid.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (validity != QString::number(m_folder->getUIDValidity()) || !digits) {
        throw MailException(goneError(entryId));
    }
    // vmime maps the UID to a sequence number (UID FETCH ... UID) and then
    // fetches the flags by that number. It does not renumber on an EXPUNGE
    // notice that comes with the UID FETCH answer (another client removed an
    // older message meanwhile), so the number may already name the next
    // message: the UID fetched must be the one asked for, or that other
    // message would be read, or taken for this one. NOOP first, so that notices
    // already waiting have arrived; after a mismatch the numbers are current
    // and a second attempt holds. Flagged \Deleted counts as gone.
    const std::string wanted = vmimesupport::toUtf8(uid);
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_folder->noop();
        auto messages = m_folder->getMessages(net::messageSet::byUID(wanted));
        if (messages.size() != 1) {
            throw MailException(goneError(entryId));
        }
        m_folder->fetchMessages(messages,
                                net::fetchAttributes(net::fetchAttributes::UID | net::fetchAttributes::FLAGS));
        int flags = 0;
        try {
            flags = messages.front()->getFlags();
        } catch (const vmime::exceptions::unfetched_object&) {
            continue; // the number named no message any more
        }
        if (static_cast<std::string>(messages.front()->getUID()) != wanted) {
            continue;
        }
        if ((flags & net::message::FLAG_DELETED) != 0) {
            throw MailException(goneError(entryId));
        }
        return messages.front();
    }
    throw MailException(goneError(entryId));
}

QByteArray ImapFolder::raw(const QString& entryId)
{
    auto message = find(entryId);
    vmime::string bytes;
    vmime::utility::outputStreamStringAdapter out(bytes);
    // BODY.PEEK[]: reading must not set \Seen.
    message->extract(out, nullptr, 0, -1, true);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ImapFolder::mailboxName(const net::folder::path& path) const
{
    auto connection = m_store->getConnection();
    return net::imap::IMAPUtils::quoteString(
        net::imap::IMAPUtils::pathToString(connection->hierarchySeparator(), path));
}

std::unique_ptr<IMAPParser::response> ImapFolder::command(const std::string& text)
{
    auto connection = m_store->getConnection();
    connection->sendCommand(net::imap::IMAPCommand::createCommand(text));
    std::unique_ptr<IMAPParser::response> response(connection->readResponse());
    if (response->isBad() ||
        response->response_done()->response_tagged()->resp_cond_state()->status() != IMAPParser::resp_cond_state::OK) {
        std::string reply;
        if (response->response_done() && response->response_done()->response_tagged()) {
            reply = response->response_done()->response_tagged()->resp_cond_state()->resp_text()->text();
        }
        throw vmime::exceptions::command_error(text, reply);
    }
    return response;
}

void ImapFolder::simpleCommand(const std::string& text)
{
    command(text);
}

QList<QByteArray> ImapFolder::newestHeaders(qsizetype count)
{
    if (!m_examinedCount) {
        throw MailException({MailFailure::Other, u"the IMAP folder is not open for reading"_s});
    }
    // Sequence numbers follow the order of arrival. Messages flagged \Deleted
    // are passed over, so a batch short of `count` asks for the ones before it.
    std::vector<std::pair<unsigned int, QByteArray>> found;
    size_t last = *m_examinedCount;
    while (static_cast<qsizetype>(found.size()) < count && last > 0) {
        const size_t wanted = static_cast<size_t>(count) - found.size();
        const size_t first = last > wanted ? last - wanted + 1 : 1;
        // By hand, because vmime's fetchMessages asks for RFC822.HEADER, which
        // it hands back parsed and regenerated rather than as the bytes, or for
        // BODY[HEADER.FIELDS (...)] without PEEK, which sets \Seen on a folder
        // opened for writing. BODY.PEEK leaves \Seen alone whatever the mode.
        const std::unique_ptr<IMAPParser::response> answer =
            command("FETCH " + std::to_string(first) + ':' + std::to_string(last) + " (FLAGS BODY.PEEK[HEADER])");
        std::vector<std::pair<unsigned int, QByteArray>> batch;
        for (const auto* data : answer->continue_req_or_response_data()) {
            const IMAPParser::response_data* response = data->response_data();
            const IMAPParser::message_data* message = response != nullptr ? response->message_data() : nullptr;
            if (message == nullptr || message->type() != IMAPParser::message_data::FETCH ||
                message->msg_att() == nullptr || message->number() < first || message->number() > last) {
                continue;
            }
            bool deleted = false;
            std::optional<QByteArray> header;
            for (const IMAPParser::msg_att_item* item : message->msg_att()->items()) {
                if (item->type() == IMAPParser::msg_att_item::FLAGS) {
                    for (const IMAPParser::flag* flag : item->flag_list()->flags()) {
                        deleted = deleted || flag->type() == IMAPParser::flag::DELETED;
                    }
                } else if (item->type() == IMAPParser::msg_att_item::BODY_SECTION && item->nstring() != nullptr) {
                    const std::string& bytes = item->nstring()->value();
                    header = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
                }
            }
            if (header && !deleted) {
                batch.emplace_back(message->number(), std::move(*header));
            }
        }
        std::sort(batch.begin(), batch.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (auto& entry : batch) {
            if (static_cast<qsizetype>(found.size()) < count) {
                found.push_back(std::move(entry));
            }
        }
        last = first - 1;
    }
    QList<QByteArray> headers;
    for (auto& entry : found) {
        headers.append(std::move(entry.second));
    }
    return headers;
}

void ImapFolder::remove(const QString& entryId)
{
    find(entryId);
    // Only UID commands from here on: they name this message whatever the
    // sequence numbers have become meanwhile.
    const std::string uid = vmimesupport::toUtf8(entryId.section(u'/', 1));
    m_folder->setMessageFlags(net::messageSet::byUID(uid), net::message::FLAG_DELETED, net::message::FLAG_MODE_ADD);
    auto connection = m_store->getConnection();
    if (!connection->hasCapability("UIDPLUS")) {
        // Without UIDPLUS only the whole folder can be expunged.
        m_folder->expunge();
        return;
    }
    // vmime's folder connection has no UID EXPUNGE; the store's connection
    // selects the same folder and expunges this one UID there.
    if (!m_storeSelected) {
        simpleCommand("SELECT " + mailboxName(m_folder->getFullPath()));
        m_storeSelected = true;
    }
    simpleCommand("UID EXPUNGE " + uid);
}

void ImapFolder::move(const QString& entryId, const QString& folder)
{
    find(entryId);
    const std::string uid = vmimesupport::toUtf8(entryId.section(u'/', 1));
    const net::folder::path destination = pathOf(folder);
    auto target = m_store->getFolder(destination);
    if (!target->exists()) {
        net::folderAttributes attributes;
        attributes.setType(net::folderAttributes::TYPE_CONTAINS_MESSAGES);
        target->create(attributes);
    }
    m_folder->copyMessages(destination, net::messageSet::byUID(uid));
    remove(entryId);
}
