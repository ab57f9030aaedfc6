// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/RdapBootstrap.h"
#include "rdap/RdapCache.h"
#include "rdap/RdapResult.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

/// The settings of an RdapClient (RdapClient::Options). Declared outside the
/// class so that it can serve as the constructor's default argument.
struct RdapClientOptions
{
    /// Per relay address, redirects and entity fetches included.
    std::chrono::milliseconds limit{10000};
    /// Empty: ZELKOR_RDAP_BOOTSTRAP, else the refreshed copy
    /// $XDG_CACHE_HOME/zelkor/ipv4.json, else the copy compiled in. A file named
    /// here or in ZELKOR_RDAP_BOOTSTRAP is used as it is and never refreshed.
    QString bootstrapFile;
    /// Empty: $XDG_CACHE_HOME/zelkor/rdap (~/.cache/zelkor/rdap).
    QString cacheDirectory;
    /// The same for IPv6: empty means ZELKOR_RDAP_BOOTSTRAP6, else the copy
    /// $XDG_CACHE_HOME/zelkor/ipv6.json, else the one compiled in. That copy is
    /// refreshed only when no IPv4 file is named (here or in the environment),
    /// so that a bootstrap given by hand is never mixed with a download.
    QString bootstrapFile6;
};

/// Asks the registries' RDAP services (RFC 9082/9083) for the abuse e-mail
/// addresses of relay IPv4 and IPv6 addresses, on the caller's event loop.
///
/// The bootstrap files (RFC 9224), one per address family, name the registry
/// for an address. Lookups that go to the same server (scheme, host and port of
/// its base URL) run one after another, and each looks in the cache first when
/// its turn comes, so a batch asks for a network once. A server that answered
/// HTTP 429 is not asked again while the object lives. While the object lives,
/// an outdated or missing copy of a bootstrap file in the cache directory is
/// refreshed in the background: ipv4.json from IANA or ZELKOR_RDAP_BOOTSTRAP_URL,
/// ipv6.json from IANA or ZELKOR_RDAP_BOOTSTRAP6_URL; while only
/// ZELKOR_RDAP_BOOTSTRAP_URL is set, ipv6.json is not refreshed at all (a
/// mirror for IPv4 says IANA is not to be asked).
class RdapClient final : public QObject
{
    Q_OBJECT

public:
    using Options = RdapClientOptions;

    explicit RdapClient(Options options = {}, QObject* parent = nullptr);
    ~RdapClient() override;
    Q_DISABLE_COPY_MOVE(RdapClient)

    /// Starts the lookup of one relay text. Its result always comes later, from
    /// the event loop, with `finished(ticket, result)` (also when nothing is
    /// asked: neither a dotted quad nor an IPv6 address, no bootstrap entry, a
    /// cache hit). An IPv4-mapped IPv6 address (::ffff:a.b.c.d) is looked up
    /// as its IPv4 address. The time limit counts from the moment the lookup's
    /// turn at its server comes.
    quint64 lookup(const QString& relay);
    /// Drops every lookup under way; their results never come.
    void cancelAll();

Q_SIGNALS:
    void finished(quint64 ticket, const RdapResult& result);
    /// A request about `address` went out to a server (not one the cache answered).
    void asked(const QUrl& url, const QString& address);

private:
    struct Lookup;

    void loadBootstrap();
    /// Loads the table of `family` from the file `named`, else from the cached
    /// copy or the built-in one, and refreshes that copy when `mayRefresh`.
    void loadBootstrap(RdapBootstrap::Family family, const QString& named, bool mayRefresh);
    void refreshBootstrap(RdapBootstrap::Family family, const QUrl& url, const QString& copyPath);
    std::optional<RdapBootstrap>& bootstrap(RdapBootstrap::Family family);
    QString& bootstrapError(RdapBootstrap::Family family);
    void startNext(const QString& origin);
    void send(Lookup& lookup, const QUrl& url, bool redirected = false);
    void onRedirected(quint64 ticket, const QUrl& target);
    void onReadyRead(quint64 ticket);
    /// Appends what the reply has to the body; false when that made the lookup fail.
    bool takeAvailable(Lookup& lookup);
    void onReplyFinished(quint64 ticket);
    void takeAnswer(Lookup& lookup, const QByteArray& body);
    void takeEntity(Lookup& lookup, const QByteArray& body);
    void fetchNextEntity(Lookup& lookup);
    void succeed(Lookup& lookup);
    void fail(Lookup& lookup, const QString& reason);
    void finishLater(quint64 ticket);
    void finish(quint64 ticket);
    Lookup* find(quint64 ticket) const;

    Options m_options;
    QNetworkAccessManager* m_network = nullptr;
    RdapCache m_cache;
    std::optional<RdapBootstrap> m_bootstrap;
    std::optional<RdapBootstrap> m_bootstrap6;
    /// Why there is no bootstrap table, when there is none.
    QString m_bootstrapError;
    QString m_bootstrapError6;
    quint64 m_lastTicket = 0;
    std::map<quint64, std::unique_ptr<Lookup>> m_lookups;
    /// Per server, the tickets waiting for their turn.
    QHash<QString, QList<quint64>> m_waiting;
    /// Servers with a lookup under way.
    QSet<QString> m_busy;
    /// Servers that answered HTTP 429.
    QSet<QString> m_refused;
};
