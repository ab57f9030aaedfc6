// SPDX-License-Identifier: GPL-3.0-or-later
#include "resolve/CaresResolver.h"

#include "common/TextCodec.h"

#include <QByteArray>

#include <ares.h>
#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <array>
#include <cstring>
#include <netdb.h>
#include <poll.h>

using namespace Qt::StringLiterals;

namespace {

// Host names are taken up to 256 bytes, which lets every legal name through whole.
constexpr qsizetype MaxHostNameBytes = 256;

// A dead or silent DNS server must not freeze the window for long: two tries of
// two seconds each per server.
constexpr int QueryTimeoutMs = 2000;
constexpr int QueryTries = 2;

struct LookupState
{
    /// AF_INET or AF_INET6: how the PTR answer is read.
    int family = AF_INET;
    bool done = false;
    ReverseLookupResult result;
};

int errorNumberOf(int aresStatus)
{
    switch (aresStatus) {
    case ARES_ENOTFOUND:
        return ResolverError::HostNotFound;
    case ARES_ENODATA:
        return ResolverError::NoData;
    case ARES_ESERVFAIL:
        return ResolverError::TryAgain;
    default:
        return ResolverError::NoRecovery;
    }
}

QString hostNameOf(const char* name)
{
    const qsizetype length = static_cast<qsizetype>(::strnlen(name, MaxHostNameBytes));
    return decodeUtf8OrLatin1(QByteArrayView(name, length));
}

void onHostsFileAnswer(void* arg, int status, int /*timeouts*/, hostent* host)
{
    auto* state = static_cast<LookupState*>(arg);
    state->done = true;
    if (status == ARES_SUCCESS && host != nullptr && host->h_name != nullptr) {
        state->result.hostName = hostNameOf(host->h_name);
    } else {
        state->result.errorCode = errorNumberOf(status);
    }
}

void onPtrAnswer(void* arg, int status, int /*timeouts*/, unsigned char* answer, int answerLength)
{
    auto* state = static_cast<LookupState*>(arg);
    state->done = true;
    if (status != ARES_SUCCESS) {
        state->result.errorCode = errorNumberOf(status);
        return;
    }
    // The address is only used to fill the record's address list; the name is
    // what counts, so a placeholder of the family's size does.
    const std::array<unsigned char, 16> placeholder{};
    const int placeholderLength = state->family == AF_INET6 ? 16 : 4;
    hostent* host = nullptr;
    const int parsed =
        ares_parse_ptr_reply(answer, answerLength, placeholder.data(), placeholderLength, state->family, &host);
    if (parsed == ARES_SUCCESS && host != nullptr && host->h_name != nullptr) {
        state->result.hostName = hostNameOf(host->h_name);
    } else {
        state->result.errorCode = errorNumberOf(parsed == ARES_SUCCESS ? ARES_ENODATA : parsed);
    }
    if (host != nullptr) {
        ares_free_hostent(host);
    }
}

// Drives the channel until the pending query has called back.
void waitFor(ares_channel channel, const LookupState& state)
{
    while (!state.done) {
        std::array<ares_socket_t, ARES_GETSOCK_MAXNUM> sockets{};
        const int mask = ares_getsock(channel, sockets.data(), ARES_GETSOCK_MAXNUM);
        std::array<pollfd, ARES_GETSOCK_MAXNUM> polled{};
        nfds_t count = 0;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            const bool readable = ARES_GETSOCK_READABLE(mask, i);
            const bool writable = ARES_GETSOCK_WRITABLE(mask, i);
            if (!readable && !writable) {
                continue;
            }
            const short events = static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0));
            polled[count++] = pollfd{sockets[i], events, 0};
        }
        timeval wait{};
        const timeval* timeout = ares_timeout(channel, nullptr, &wait);
        const int waitMs =
            timeout == nullptr ? QueryTimeoutMs : static_cast<int>(timeout->tv_sec * 1000 + timeout->tv_usec / 1000);
        const int ready = ::poll(polled.data(), count, waitMs);
        if (ready <= 0) {
            ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
            continue;
        }
        for (nfds_t i = 0; i < count; ++i) {
            const bool readable = (polled[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
            const bool writable = (polled[i].revents & POLLOUT) != 0;
            ares_process_fd(channel, readable ? polled[i].fd : ARES_SOCKET_BAD,
                            writable ? polled[i].fd : ARES_SOCKET_BAD);
        }
    }
}

} // namespace

CaresResolver::CaresResolver(QString dnsServers)
    : m_dnsServers(std::move(dnsServers))
{}

CaresResolver::~CaresResolver()
{
    cleanup();
}

QString CaresResolver::serversFromEnvironment()
{
    return qEnvironmentVariable("ZELKOR_DNS_SERVERS");
}

int CaresResolver::startup()
{
    cleanup();
    if (ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS) {
        return ResolverError::SubsystemNotReady;
    }
    m_libraryStarted = true;

    ares_options options{};
    // "f": ares_gethostbyaddr reads the hosts file only; DNS is asked by ares_query.
    QByteArray lookups = "f";
    options.lookups = lookups.data();
    options.timeout = QueryTimeoutMs;
    options.tries = QueryTries;
    const int optionMask = ARES_OPT_LOOKUPS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
    if (ares_init_options(&m_channel, &options, optionMask) != ARES_SUCCESS) {
        m_channel = nullptr;
        cleanup();
        return ResolverError::SubsystemNotReady;
    }
    if (!m_dnsServers.isEmpty() &&
        ares_set_servers_ports_csv(m_channel, m_dnsServers.toLatin1().constData()) != ARES_SUCCESS) {
        cleanup();
        return ResolverError::SubsystemNotReady;
    }
    return 0;
}

void CaresResolver::cleanup()
{
    if (m_channel != nullptr) {
        ares_destroy(m_channel);
        m_channel = nullptr;
    }
    if (m_libraryStarted) {
        ares_library_cleanup();
        m_libraryStarted = false;
    }
}

ReverseLookupResult CaresResolver::lookupAddress(quint32 networkOrderAddress)
{
    in_addr address{};
    address.s_addr = networkOrderAddress;
    return lookup(&address, static_cast<int>(sizeof address), AF_INET,
                  reversedLabels(ntohl(networkOrderAddress)) + "in-addr.arpa");
}

ReverseLookupResult CaresResolver::lookupAddress6(const Ipv6Bytes& address)
{
    in6_addr address6{};
    static_assert(sizeof address6.s6_addr == std::tuple_size_v<Ipv6Bytes>);
    std::memcpy(address6.s6_addr, address.data(), address.size());
    return lookup(&address6, static_cast<int>(sizeof address6), AF_INET6, reversedLabels(address) + "ip6.arpa");
}

ReverseLookupResult CaresResolver::lookup(const void* address, int length, int family, const QByteArray& queryName)
{
    if (m_channel == nullptr) {
        return {QString(), 10093};
    }
    LookupState fromHostsFile;
    fromHostsFile.family = family;
    ares_gethostbyaddr(m_channel, address, length, family, onHostsFileAnswer, &fromHostsFile);
    waitFor(m_channel, fromHostsFile);
    if (!fromHostsFile.result.hostName.isEmpty()) {
        return fromHostsFile.result;
    }

    LookupState fromDns;
    fromDns.family = family;
    ares_query(m_channel, queryName.constData(), ns_c_in, ns_t_ptr, onPtrAnswer, &fromDns);
    waitFor(m_channel, fromDns);
    return fromDns.result;
}
