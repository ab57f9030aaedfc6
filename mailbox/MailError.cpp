// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MailError.h"

using namespace Qt::StringLiterals;

QString mailFailureName(MailFailure kind)
{
    switch (kind) {
    case MailFailure::None:
        return u"no failure"_s;
    case MailFailure::Settings:
        return u"unusable settings"_s;
    case MailFailure::Connect:
        return u"could not connect"_s;
    case MailFailure::Timeout:
        return u"timed out"_s;
    case MailFailure::Certificate:
        return u"certificate not trusted"_s;
    case MailFailure::Tls:
        return u"TLS failed"_s;
    case MailFailure::Login:
        return u"log-in refused"_s;
    case MailFailure::Refused:
        return u"refused by the server"_s;
    case MailFailure::MessageGone:
        return u"message gone"_s;
    case MailFailure::NoRecipients:
        return u"no one to send to"_s;
    case MailFailure::RecipientsRefused:
        return u"every recipient refused"_s;
    case MailFailure::TemporarilyRefused:
        return u"refused for now"_s;
    case MailFailure::ContentRefused:
        return u"message refused"_s;
    case MailFailure::Other:
        break;
    }
    return u"failed"_s;
}
