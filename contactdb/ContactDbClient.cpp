// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactdb/ContactDbClient.h"

#include "contactdb/ContactZone.h"

#include <QSocketNotifier>
#include <QTimer>

#include <ares.h>
#include <arpa/nameser.h>
#include <memory>
#include <optional>
#include <type_traits>

using namespace Qt::StringLiterals;

static_assert(std::is_same_v<ares_socket_t, int>, "c-ares sockets are file descriptors here");

namespace {

// Two tries of two seconds per server, as for the reverse lookup; the client's
// own limit ends a lookup that takes longer still.
constexpr int QueryTimeoutMs = 2000;
constexpr int QueryTries = 2;

// A string of a TXT record holds at most 255 bytes (RFC 1035 3.3.14).
constexpr size_t FullTxtString = 255;

// The records of a TXT answer, each one's strings joined: a string cut at its
// full length goes on in the next one; other strings are words of their own
// (one address each, as some zones publish them).
std::optional<QList<QByteArray>> txtRecords(const unsigned char* answer, int length)
{
    ares_txt_ext* first = nullptr;
    if (ares_parse_txt_reply_ext(answer, length, &first) != ARES_SUCCESS) {
        return std::nullopt;
    }
    QList<QByteArray> records;
    size_t previousLength = 0;
    for (const ares_txt_ext* part = first; part != nullptr; part = part->next) {
        if (part->record_start != 0 || records.isEmpty()) {
            records.append(QByteArray());
        } else if (previousLength != FullTxtString) {
            records.last().append(' ');
        }
        records.last().append(reinterpret_cast<const char*>(part->txt), static_cast<qsizetype>(part->length));
        previousLength = part->length;
    }
    ares_free_data(first);
    return records;
}

} // namespace

struct ContactDbClient::Query
{
    ContactDbClient* client;
    quint64 ticket;
    QString relay;
};

ContactDbClient::ContactDbClient(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_aresTimer(new QTimer(this))
{
    qRegisterMetaType<ContactDbResult>();
    m_aresTimer->setSingleShot(true);
    connect(m_aresTimer, &QTimer::timeout, this, [this] { process(ARES_SOCKET_BAD, ARES_SOCKET_BAD); });
    if (ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS) {
        m_startError = u"the DNS resolver could not be started"_s;
        return;
    }
    m_libraryStarted = true;
    ares_options aresOptions{};
    aresOptions.timeout = QueryTimeoutMs;
    aresOptions.tries = QueryTries;
    aresOptions.sock_state_cb = &ContactDbClient::onSocketState;
    aresOptions.sock_state_cb_data = this;
    const int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_SOCK_STATE_CB;
    if (ares_init_options(&m_channel, &aresOptions, mask) != ARES_SUCCESS) {
        m_channel = nullptr;
        m_startError = u"the DNS resolver could not be started"_s;
        return;
    }
    if (!m_options.dnsServers.isEmpty() &&
        ares_set_servers_ports_csv(m_channel, m_options.dnsServers.toLatin1().constData()) != ARES_SUCCESS) {
        m_startError = u"the DNS servers \"%1\" cannot be used"_s.arg(m_options.dnsServers);
    }
}

// Destroying the channel calls back every query still under way, with
// ARES_EDESTRUCTION, which only frees it.
ContactDbClient::~ContactDbClient()
{
    if (m_channel != nullptr) {
        ares_destroy(m_channel);
    }
    if (m_libraryStarted) {
        ares_library_cleanup();
    }
}

quint64 ContactDbClient::lookup(const QString& relay)
{
    const quint64 ticket = ++m_lastTicket;
    ContactDbResult result{relay, {}, {}, {}};
    const QByteArray name = contactQueryName(relay, m_options.zone);
    if (name.isEmpty()) {
        result.error =
            isContactZoneName(m_options.zone) ? u"not an IP address"_s : u"\"%1\" is no DNS zone"_s.arg(m_options.zone);
        finishLater(ticket, result);
        return ticket;
    }
    result.zone = m_options.zone;
    if (m_channel == nullptr || !m_startError.isEmpty()) {
        result.error = m_startError;
        finishLater(ticket, result);
        return ticket;
    }
    auto* limit = new QTimer(this);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, this, [this, ticket, result]() mutable {
        result.error =
            u"no answer from %1 within %2 s"_s.arg(m_options.zone).arg(double(m_options.limit.count()) / 1000);
        finishLater(ticket, result);
    });
    limit->start(m_options.limit);
    m_pending.insert(ticket, limit);
    // Registered before asking: c-ares may call back from inside ares_query.
    ares_query(m_channel, name.constData(), ns_c_in, ns_t_txt, &ContactDbClient::onAnswer,
               new Query{this, ticket, relay});
    armTimeout();
    return ticket;
}

void ContactDbClient::cancelAll()
{
    qDeleteAll(m_pending);
    m_pending.clear();
    m_ready.clear();
}

void ContactDbClient::onAnswer(void* arg, int status, int /*timeouts*/, unsigned char* answer, int length)
{
    const std::unique_ptr<Query> query(static_cast<Query*>(arg));
    if (status == ARES_EDESTRUCTION) {
        return;
    }
    ContactDbClient& client = *query->client;
    if (!client.m_pending.contains(query->ticket)) {
        return; // cancelled or past its time limit
    }
    ContactDbResult result{query->relay, client.m_options.zone, {}, {}};
    if (status == ARES_SUCCESS) {
        if (const std::optional<QList<QByteArray>> records = txtRecords(answer, length)) {
            result.abuse = contactAddressesInTxt(*records);
        } else {
            result.error = u"the answer of %1 could not be read"_s.arg(result.zone);
        }
    } else if (status != ARES_ENOTFOUND && status != ARES_ENODATA) {
        // "No such name" and "no TXT record" say the zone lists nobody.
        result.error = u"%1 did not answer: %2"_s.arg(result.zone, QString::fromLatin1(ares_strerror(status)));
    }
    client.finishLater(query->ticket, result);
}

void ContactDbClient::finishLater(quint64 ticket, ContactDbResult result)
{
    if (QTimer* limit = m_pending.take(ticket)) {
        limit->deleteLater();
    }
    m_ready.insert(ticket, std::move(result));
    QMetaObject::invokeMethod(
        this,
        [this, ticket] {
            const auto ready = m_ready.constFind(ticket);
            if (ready == m_ready.cend()) {
                return;
            }
            const ContactDbResult delivered = ready.value();
            m_ready.erase(ready);
            Q_EMIT finished(ticket, delivered);
        },
        Qt::QueuedConnection);
}

void ContactDbClient::onSocketState(void* data, int socket, int readable, int writable)
{
    static_cast<ContactDbClient*>(data)->watchSocket(socket, readable != 0, writable != 0);
}

// c-ares says which of its sockets to watch for what; the event loop watches them.
void ContactDbClient::watchSocket(int socket, bool readable, bool writable)
{
    const auto watch = [this, socket](QHash<int, QSocketNotifier*>& notifiers, QSocketNotifier::Type type, bool on) {
        QSocketNotifier* notifier = notifiers.value(socket);
        if (!on) {
            if (notifier != nullptr) {
                // This may run inside the notifier's own signal.
                notifier->setEnabled(false);
                notifier->deleteLater();
                notifiers.remove(socket);
            }
            return;
        }
        if (notifier == nullptr) {
            notifier = new QSocketNotifier(socket, type, this);
            const bool reads = type == QSocketNotifier::Read;
            connect(notifier, &QSocketNotifier::activated, this, [this, socket, reads] {
                reads ? process(socket, ARES_SOCKET_BAD) : process(ARES_SOCKET_BAD, socket);
            });
            notifiers.insert(socket, notifier);
        }
        notifier->setEnabled(true);
    };
    watch(m_readers, QSocketNotifier::Read, readable);
    watch(m_writers, QSocketNotifier::Write, writable);
}

void ContactDbClient::process(int readable, int writable)
{
    if (m_channel != nullptr) {
        ares_process_fd(m_channel, readable, writable);
        armTimeout();
    }
}

// c-ares' own retries and timeouts run when it says, not only when a socket stirs.
void ContactDbClient::armTimeout()
{
    timeval wait{};
    if (m_channel == nullptr || ares_timeout(m_channel, nullptr, &wait) == nullptr) {
        m_aresTimer->stop();
        return;
    }
    m_aresTimer->start(static_cast<int>(wait.tv_sec * 1000 + wait.tv_usec / 1000) + 1);
}
