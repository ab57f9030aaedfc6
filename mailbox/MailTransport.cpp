// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MailTransport.h"

#include "common/LineEnds.h"
#include "mailbox/StoreBackend.h"
#include "mailbox/VmimeSupport.h"

#include <QRegularExpression>

#include <vmime/net/smtp/SMTPCommand.hpp>
#include <vmime/net/smtp/SMTPConnection.hpp>
#include <vmime/net/smtp/SMTPResponse.hpp>
#include <vmime/net/smtp/SMTPTransport.hpp>

using namespace Qt::StringLiterals;
namespace net = vmime::net;

namespace {

vmime::mailbox parseMailbox(const QString& text)
{
    vmime::mailbox mailbox;
    mailbox.parse(vmimesupport::toUtf8(text));
    return mailbox;
}

vmime::shared_ptr<vmime::message> buildMessage(const vmime::mailbox& from, const vmime::mailboxList& to,
                                               const QString& subject, const QString& body)
{
    auto message = vmime::make_shared<vmime::message>();
    auto header = message->getHeader();
    header->From()->setValue(from);
    vmime::addressList recipients;
    for (size_t i = 0; i < to.getMailboxCount(); ++i) {
        recipients.appendAddress(vmime::make_shared<vmime::mailbox>(*to.getMailboxAt(i)));
    }
    header->To()->setValue(recipients);
    header->Subject()->setValue(vmime::text(vmimesupport::toUtf8(subject), vmime::charsets::UTF_8));
    header->Date()->setValue(vmime::datetime::now());
    header->MessageId()->setValue(vmime::messageId::generateId());
    header->MimeVersion()->setValue(vmime::string("1.0"));
    // Quoted-printable whatever the text holds: lines over 998 characters are
    // wrapped with soft breaks and come back whole after decoding, and the
    // transport's dot-stuffing keeps lines that begin with a dot.
    message->getBody()->setContents(vmime::make_shared<vmime::stringContentHandler>(vmimesupport::toUtf8(toCrLf(body))),
                                    vmime::mediaType(vmime::mediaTypes::TEXT, vmime::mediaTypes::TEXT_PLAIN),
                                    vmime::charsets::UTF_8, vmime::encoding(vmime::encodingTypes::QUOTED_PRINTABLE));
    return message;
}

// SMTP's DATA ends at a line that holds a lone dot; a line of the message that
// begins with a dot gets a second one, which the server removes.
std::string dotStuffed(const std::string& text)
{
    std::string result;
    result.reserve(text.size() + 64);
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && c == '.') {
            result += '.';
        }
        result += c;
        lineStart = c == '\n';
    }
    if (!result.empty() && result.back() != '\n') {
        result += "\r\n";
    }
    return result;
}

// "name@domain" or "Name <name@domain>": vmime accepts any text as a mailbox
// and would hand a word without a domain to the server.
bool looksLikeAddress(const QString& text)
{
    static const QRegularExpression address(u"^(?:[^<>]*<\\s*)?[^\\s@<>]+@[^\\s@<>]+(?:\\s*>)?$"_s);
    return address.match(text.trimmed()).hasMatch();
}

QString replyText(const vmime::shared_ptr<net::smtp::SMTPResponse>& response)
{
    return QString(QString::number(response->getCode()) + u' ' + vmimesupport::fromUtf8(response->getText()))
        .simplified();
}

bool isPositive(const vmime::shared_ptr<net::smtp::SMTPResponse>& response)
{
    return response->getCode() / 100 == 2;
}

bool isTemporary(const vmime::shared_ptr<net::smtp::SMTPResponse>& response)
{
    return response->getCode() / 100 == 4;
}

// A refusal of DATA or of the message after its final dot: for now (4xx), or
// for its content (5xx), which no later attempt changes.
MailException messageRefused(const QString& where, const vmime::shared_ptr<net::smtp::SMTPResponse>& reply)
{
    if (isTemporary(reply)) {
        return MailException(
            {MailFailure::TemporarilyRefused, u"%1 refused the message for now: %2"_s.arg(where, replyText(reply))});
    }
    if (reply->getCode() / 100 == 5) {
        return MailException(
            {MailFailure::ContentRefused, u"%1 refused the message: %2"_s.arg(where, replyText(reply))});
    }
    return MailException({MailFailure::Refused, u"%1 refused the message: %2"_s.arg(where, replyText(reply))});
}

// vmime gives up on the whole message at the first recipient the server
// refuses. The envelope is therefore sent here, on vmime's connection (TLS and
// log-in done), so that the accepted recipients still get the message.
SendOutcome sendOverSmtp(net::smtp::SMTPTransport& transport, const vmime::mailbox& from,
                         const vmime::mailboxList& recipients, const vmime::message& message, const QString& where,
                         SendOutcome outcome)
{
    auto connection = transport.getConnection();
    auto exchange = [&](const vmime::shared_ptr<net::smtp::SMTPCommand>& command) {
        connection->sendRequest(command);
        return connection->readResponse();
    };
    const bool utf8 = connection->hasExtension("SMTPUTF8");
    if (auto reply = exchange(net::smtp::SMTPCommand::MAIL(from, utf8)); !isPositive(reply)) {
        throw MailException(
            {MailFailure::Refused, u"%1 refused the sender %2: %3"_s.arg(
                                       where, vmimesupport::fromUtf8(from.getEmail().toString()), replyText(reply))});
    }
    size_t accepted = 0;
    for (size_t i = 0; i < recipients.getMailboxCount(); ++i) {
        const auto& recipient = *recipients.getMailboxAt(i);
        const auto reply = exchange(net::smtp::SMTPCommand::RCPT(recipient, utf8));
        if (isPositive(reply)) {
            ++accepted;
            continue;
        }
        const QString refusal =
            vmimesupport::fromUtf8(recipient.getEmail().toString()) + u" ("_s + replyText(reply) + u')';
        (isTemporary(reply) ? outcome.deferred : outcome.refused).append(refusal);
    }
    if (accepted == 0) {
        exchange(net::smtp::SMTPCommand::RSET());
        // One desk that may take the message later makes the whole refusal a
        // temporary one: the message waits for the next run instead of being
        // set aside for good.
        if (!outcome.deferred.isEmpty()) {
            throw MailException(
                {MailFailure::TemporarilyRefused, u"%1 refused every recipient, for now: %2"_s.arg(
                                                      where, (outcome.deferred + outcome.refused).join(u", "_s))});
        }
        throw MailException({MailFailure::RecipientsRefused,
                             u"%1 refused every recipient: %2"_s.arg(where, outcome.refused.join(u", "_s))});
    }
    if (auto reply = exchange(net::smtp::SMTPCommand::DATA()); reply->getCode() != 354) {
        throw messageRefused(where, reply);
    }
    vmime::string text;
    vmime::utility::outputStreamStringAdapter out(text);
    message.generate(out);
    connection->getSocket()->send(dotStuffed(text) + ".\r\n");
    if (auto reply = connection->readResponse(); !isPositive(reply)) {
        throw messageRefused(where, reply);
    }
    return outcome;
}

} // namespace

MailTransport::MailTransport(MailSettings settings, std::optional<QString> password)
    : m_settings(std::move(settings))
    , m_password(std::move(password))
{}

QStringList MailTransport::splitRecipients(const QString& to)
{
    QStringList result;
    for (const QStringView entry : QStringTokenizer(to, u';')) {
        if (const QStringView address = entry.trimmed(); !address.isEmpty()) {
            result.append(address.toString());
        }
    }
    return result;
}

QString MailTransport::location() const
{
    const QUrl& url = m_settings.transportUrl;
    if (url.scheme() == u"sendmail") {
        return u"the local sendmail (%1)"_s.arg(m_settings.sendmailPath);
    }
    const int port = url.port(url.scheme() == u"smtps" ? 465 : 25);
    return u"the SMTP server %1:%2"_s.arg(url.host()).arg(port);
}

MailResult<SendOutcome> MailTransport::send(const QString& subject, const QString& to, const QString& body)
{
    const QStringList addresses = splitRecipients(to);
    if (addresses.isEmpty()) {
        return MailError{MailFailure::NoRecipients, u"there is no one to send the complaint to"_s};
    }
    const QUrl& url = m_settings.transportUrl;
    const QString scheme = url.scheme();
    if (scheme != u"smtp" && scheme != u"smtps" && scheme != u"sendmail") {
        return MailError{MailFailure::Settings, u"the transport address %1 is neither SMTP nor sendmail"_s.arg(
                                                    url.toDisplayString(QUrl::RemovePassword))};
    }
    if (scheme != u"sendmail" && !url.userName().isEmpty() && !m_password) {
        return MailError{MailFailure::Login,
                         u"no password for %1 (set one with zelkor-report --set-password "
                         u"transport, or in ZELKOR_SMTP_PASSWORD)"_s.arg(url.toDisplayString(QUrl::RemovePassword))};
    }
    vmimesupport::initialise();
    // A text that is no address is refused here, as a server would refuse it;
    // the message still goes to the others.
    SendOutcome outcome;
    QStringList valid;
    for (const QString& address : addresses) {
        if (looksLikeAddress(address)) {
            valid.append(address);
        } else {
            outcome.refused.append(address + u" (not an e-mail address)"_s);
        }
    }
    if (valid.isEmpty()) {
        return MailError{MailFailure::RecipientsRefused,
                         u"no recipient is an e-mail address: "_s + outcome.refused.join(u", "_s)};
    }
    const QString where = location();
    MailError error = vmimesupport::guarded(where, m_settings.timeoutMs, [&] {
        const vmime::mailbox from = parseMailbox(m_settings.from);
        vmime::mailboxList recipients;
        for (const QString& address : std::as_const(valid)) {
            recipients.appendMailbox(vmime::make_shared<vmime::mailbox>(parseMailbox(address)));
        }
        const auto message = buildMessage(from, recipients, subject, body);
        auto session = net::session::create();
        if (scheme == u"sendmail") {
            auto transport = session->getTransport(vmime::utility::url("sendmail", "localhost"));
            transport->setProperty("binpath", vmimesupport::toUtf8(m_settings.sendmailPath));
            vmimesupport::configureService(transport, url, false, {m_settings.timeoutMs, m_settings.caFile},
                                           std::nullopt);
            transport->connect();
            transport->send(message, from, recipients);
            transport->disconnect();
            return;
        }
        const int port = url.port(scheme == u"smtps" ? 465 : 25);
        auto transport = vmime::dynamicCast<net::smtp::SMTPTransport>(session->getTransport(
            vmime::utility::url(vmimesupport::toUtf8(scheme), vmimesupport::toUtf8(url.host()), port)));
        vmimesupport::configureService(transport, url, m_settings.tlsRequired,
                                       {m_settings.timeoutMs, m_settings.caFile}, m_password);
        transport->connect();
        outcome = sendOverSmtp(*transport, from, recipients, *message, where, outcome);
        try {
            transport->disconnect();
        } catch (const std::exception&) {
            // The message is accepted; a QUIT that goes wrong changes nothing.
        }
    });
    if (error) {
        return error;
    }
    return outcome;
}
