// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/VmimeSupport.h"

#include "mailbox/MailSettings.h"
#include "mailbox/StoreBackend.h"

#include <QFile>

#include <chrono>
#include <mutex>
#include <vmime/platforms/posix/posixHandler.hpp>
#include <vmime/security/cert/certificateExpiredException.hpp>
#include <vmime/security/cert/certificateIssuerVerificationException.hpp>
#include <vmime/security/cert/certificateNotTrustedException.hpp>
#include <vmime/security/cert/certificateNotYetValidException.hpp>
#include <vmime/security/cert/defaultCertificateVerifier.hpp>
#include <vmime/security/cert/serverIdentityException.hpp>

using namespace Qt::StringLiterals;

namespace vmimesupport {

namespace {

// vmime asks its timeout handler, while it waits for a server, whether the
// wait has lasted too long; without a handler it waits forever. The library's
// own handler is not exported, so here is one: a silence longer than the
// timeout aborts the operation (operation_timed_out).
class SilenceTimeoutHandler final : public vmime::net::timeoutHandler
{
public:
    explicit SilenceTimeoutHandler(int timeoutMs)
        : m_timeout(timeoutMs)
    {}
    bool isTimeOut() override { return std::chrono::steady_clock::now() - m_start >= m_timeout; }
    void resetTimeOut() override { m_start = std::chrono::steady_clock::now(); }
    bool handleTimeOut() override { return false; }

private:
    std::chrono::milliseconds m_timeout;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

class SilenceTimeoutFactory final : public vmime::net::timeoutHandlerFactory
{
public:
    explicit SilenceTimeoutFactory(int timeoutMs)
        : m_timeoutMs(timeoutMs)
    {}
    vmime::shared_ptr<vmime::net::timeoutHandler> create() override
    {
        return vmime::make_shared<SilenceTimeoutHandler>(m_timeoutMs);
    }

private:
    int m_timeoutMs;
};

using CertificateList = std::vector<vmime::shared_ptr<vmime::security::cert::X509Certificate>>;

// vmime imports one certificate at a time: every PEM block of a bundle in turn.
void appendPemBundle(const QString& path, CertificateList& certificates)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray all = file.readAll();
    static constexpr QByteArrayView begin = "-----BEGIN CERTIFICATE-----";
    static constexpr QByteArrayView end = "-----END CERTIFICATE-----";
    for (qsizetype from = all.indexOf(begin); from >= 0; from = all.indexOf(begin, from)) {
        const qsizetype to = all.indexOf(end, from);
        if (to < 0) {
            break;
        }
        const QByteArray block = all.mid(from, to + end.size() - from) + '\n';
        try {
            if (auto certificate = vmime::security::cert::X509Certificate::import(
                    reinterpret_cast<const vmime::byte_t*>(block.constData()), static_cast<size_t>(block.size()))) {
                certificates.push_back(certificate);
            }
        } catch (const std::exception&) {
            // A block that is not a certificate vmime can read is left out.
        }
        from = to;
    }
}

const CertificateList& systemCertificates()
{
    // Read once per process; the bundle does not change while the program runs.
    static const CertificateList certificates = [] {
        CertificateList list;
        appendPemBundle(u"/etc/ssl/certs/ca-certificates.crt"_s, list);
        return list;
    }();
    return certificates;
}

QString responseText(const std::string& response)
{
    return fromUtf8(response).simplified();
}

// vmime's text for a failed command quotes the whole command, and an IMAP
// LOGIN command holds the password: only the command's name is shown.
QString safeText(const vmime::exception& e)
{
    if (const auto* command = dynamic_cast<const vmime::exceptions::command_error*>(&e)) {
        return u"%1 refused: %2"_s.arg(fromUtf8(command->command()).section(u' ', 0, 0),
                                       responseText(command->response()));
    }
    return QString::fromUtf8(e.what());
}

} // namespace

void initialise()
{
    static std::once_flag once;
    std::call_once(once, [] { vmime::platform::setHandler<vmime::platforms::posix::posixHandler>(); });
}

vmime::string toUtf8(const QString& text)
{
    return text.toStdString();
}

QString fromUtf8(const vmime::string& text)
{
    return QString::fromStdString(text);
}

void configureService(const vmime::shared_ptr<vmime::net::service>& service, const QUrl& url, bool tlsRequired,
                      const ServiceOptions& options, const std::optional<QString>& password)
{
    const QString scheme = url.scheme();
    const QString user = url.userName();
    service->setTimeoutHandlerFactory(vmime::make_shared<SilenceTimeoutFactory>(options.timeoutMs));
    // No tracer: vmime's trace of the IMAP LOGIN command shows the password.

    auto verifier = vmime::make_shared<vmime::security::cert::defaultCertificateVerifier>();
    CertificateList roots = systemCertificates();
    if (!options.caFile.isEmpty()) {
        appendPemBundle(options.caFile, roots);
    }
    verifier->setX509RootCAs(roots);
    service->setCertificateVerifier(verifier);

    // imaps:// and smtps:// speak TLS from the start; imap:// and smtp:// switch
    // to it with STARTTLS, which must succeed unless the settings allow plain text.
    if (scheme == u"imap" || scheme == u"smtp") {
        service->setProperty("connection.tls", true);
        service->setProperty("connection.tls.required", mustSwitchToTls(url, tlsRequired));
    }
    if (!user.isEmpty()) {
        service->setProperty("options.need-authentication", true);
        service->setProperty("auth.username", toUtf8(user));
        service->setProperty("auth.password", toUtf8(password.value_or(QString())));
    } else {
        service->setProperty("options.need-authentication", false);
    }
}

MailError describeException(std::exception_ptr error, const QString& where, int timeoutMs)
{
    namespace cert = vmime::security::cert;
    namespace ex = vmime::exceptions;
    try {
        std::rethrow_exception(error);
    } catch (const MailException& e) {
        return e.error();
    } catch (const cert::serverIdentityException&) {
        return {MailFailure::Certificate, u"the certificate of %1 was issued for another host name"_s.arg(where)};
    } catch (const cert::certificateExpiredException&) {
        return {MailFailure::Certificate, u"the certificate of %1 has expired"_s.arg(where)};
    } catch (const cert::certificateNotYetValidException&) {
        return {MailFailure::Certificate, u"the certificate of %1 is not valid yet"_s.arg(where)};
    } catch (const cert::certificateNotTrustedException&) {
        return {MailFailure::Certificate,
                u"the certificate of %1 is not trusted: no known certificate authority vouches for it "
                u"(add the authority to [tls] ca_file)"_s.arg(where)};
    } catch (const cert::certificateIssuerVerificationException&) {
        return {MailFailure::Certificate, u"the certificate chain of %1 could not be verified"_s.arg(where)};
    } catch (const cert::certificateException& e) {
        return {MailFailure::Certificate,
                u"the certificate of %1 was refused: %2"_s.arg(where, QString::fromUtf8(e.what()))};
    } catch (const ex::operation_timed_out&) {
        return {MailFailure::Timeout, u"%1 did not answer within %2 seconds"_s.arg(where).arg(timeoutMs / 1000.0)};
    } catch (const ex::authentication_error& e) {
        return {MailFailure::Login, u"log-in to %1 refused (%2)"_s.arg(where, responseText(e.response()))};
    } catch (const ex::tls_exception& e) {
        return {MailFailure::Tls, u"TLS with %1 failed: %2"_s.arg(where, QString::fromUtf8(e.what()))};
    } catch (const ex::command_error& e) {
        const QString command = fromUtf8(e.command()).simplified();
        if (command.startsWith(u"STARTTLS", Qt::CaseInsensitive)) {
            return {MailFailure::Tls, u"%1 does not offer STARTTLS, and [tls] required is true (%2)"_s.arg(
                                          where, responseText(e.response()))};
        }
        // Never the whole command: LOGIN carries the password.
        const QString name = command.startsWith(u"UID ", Qt::CaseInsensitive) ? command.section(u' ', 0, 1)
                                                                              : command.section(u' ', 0, 0);
        return {MailFailure::Refused, u"%1 refused %2: %3"_s.arg(where, name, responseText(e.response()))};
    } catch (const ex::connection_greeting_error& e) {
        return {MailFailure::Connect,
                u"%1 did not greet as a mail server (%2)"_s.arg(where, responseText(e.response()))};
    } catch (const ex::connection_error& e) {
        // vmime reports a refused connection with a misleading "timed out" inside;
        // its outer text is the honest one.
        return {MailFailure::Connect, u"could not connect to %1: %2"_s.arg(where, QString::fromUtf8(e.what()))};
    } catch (const ex::socket_exception& e) {
        return {MailFailure::Connect, u"the connection to %1 failed: %2"_s.arg(where, QString::fromUtf8(e.what()))};
    } catch (const ex::no_auth_information&) {
        return {MailFailure::Login, u"no password for %1"_s.arg(where)};
    } catch (const ex::not_connected&) {
        return {MailFailure::Connect, u"the connection to %1 was lost"_s.arg(where)};
    } catch (const ex::invalid_response& e) {
        return {MailFailure::Refused, u"%1 gave an unexpected answer: %2"_s.arg(where, responseText(e.response()))};
    } catch (const vmime::exception& e) {
        QString text = safeText(e);
        for (const vmime::exception* inner = e.other(); inner != nullptr; inner = inner->other()) {
            text += u": "_s + safeText(*inner);
        }
        return {MailFailure::Other, u"%1: %2"_s.arg(where, text)};
    } catch (const std::exception& e) {
        return {MailFailure::Other, u"%1: %2"_s.arg(where, QString::fromUtf8(e.what()))};
    }
    return {MailFailure::Other, u"%1: unknown failure"_s.arg(where)};
}

MailError guarded(const QString& where, int timeoutMs, const std::function<void()>& work)
{
    try {
        work();
        return {};
    } catch (...) {
        return describeException(std::current_exception(), where, timeoutMs);
    }
}

} // namespace vmimesupport
