// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/RdapAnswer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace {

// Entities nest inside entities (ARIN puts the abuse contact inside the
// registrant organisation); deeper than this a walk stops, so that a hostile
// answer cannot run the stack out.
constexpr int DeepestEntity = 32;

// The longest address a mail system takes (RFC 5321 path limit less the brackets).
constexpr qsizetype LongestEmail = 254;

bool hasRole(const QJsonObject& entity, QLatin1StringView role)
{
    const QJsonArray roles = entity.value("roles"_L1).toArray();
    return std::any_of(roles.begin(), roles.end(),
                       [role](const auto& value) { return value.toString().compare(role, Qt::CaseInsensitive) == 0; });
}

// The "email" properties of the object's vCard ("vcardArray": ["vcard",
// [[name, parameters, type, value], ...]]) whose value is a usable address.
QStringList vcardEmails(const QJsonObject& object)
{
    QStringList emails;
    const QJsonArray vcard = object.value("vcardArray"_L1).toArray();
    if (vcard.size() < 2 || vcard.at(0).toString().compare("vcard"_L1, Qt::CaseInsensitive) != 0) {
        return emails;
    }
    const QJsonArray properties = vcard.at(1).toArray();
    for (const auto& value : properties) {
        const QJsonArray property = value.toArray();
        if (property.size() < 4 || property.at(0).toString().compare("email"_L1, Qt::CaseInsensitive) != 0 ||
            !property.at(3).isString()) {
            continue;
        }
        const QString address = property.at(3).toString();
        if (isUsableEmail(address)) {
            appendOnce(emails, address);
        }
    }
    return emails;
}

QUrl selfLink(const QJsonObject& entity, const QUrl& answerUrl)
{
    const QJsonArray links = entity.value("links"_L1).toArray();
    for (const auto& value : links) {
        const QJsonObject link = value.toObject();
        if (link.value("rel"_L1).toString() != "self"_L1) {
            continue;
        }
        const QUrl href(link.value("href"_L1).toString(), QUrl::StrictMode);
        if (href.isValid() && !href.isEmpty()) {
            return answerUrl.resolved(href);
        }
    }
    return {};
}

void collectAbuse(const QJsonArray& entities, int depth, const QUrl& answerUrl, RdapAnswer& answer)
{
    if (depth > DeepestEntity) {
        return;
    }
    for (const auto& value : entities) {
        const QJsonObject entity = value.toObject();
        if (hasRole(entity, "abuse"_L1)) {
            const QStringList emails = vcardEmails(entity);
            for (const QString& address : emails) {
                appendOnce(answer.abuse, address);
            }
            if (emails.isEmpty()) {
                const QUrl link = selfLink(entity, answerUrl);
                if (link.isValid() && !answer.abuseLinks.contains(link)) {
                    answer.abuseLinks.append(link);
                }
            }
        }
        collectAbuse(entity.value("entities"_L1).toArray(), depth + 1, answerUrl, answer);
    }
}

// The top-level object of an answer, or the reason there is none.
std::optional<QJsonObject> answerObject(const QByteArray& body, QString& error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = u"the answer is not valid JSON (%1 at byte %2)"_s.arg(parseError.errorString()).arg(parseError.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        error = u"the answer is not an RDAP object"_s;
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    // RFC 9083 section 6: an error response carries "errorCode" (a number;
    // some servers send it as a string) and mostly a "title".
    const QJsonValue code = object.value("errorCode"_L1);
    if (!code.isUndefined()) {
        const QString number =
            code.isDouble() ? QString::number(code.toInteger()) : printableExcerpt(code.toString(), 20);
        const QString title = printableExcerpt(object.value("title"_L1).toString());
        error = u"RDAP error %1"_s.arg(number.isEmpty() ? u"without a code"_s : number);
        if (!title.isEmpty()) {
            error += u" ("_s + title + u')';
        }
        return std::nullopt;
    }
    return object;
}

} // namespace

RdapAnswer parseRdapAnswer(const QByteArray& body, const QUrl& url)
{
    RdapAnswer answer;
    const std::optional<QJsonObject> object = answerObject(body, answer.error);
    if (!object) {
        return answer;
    }
    collectAbuse(object->value("entities"_L1).toArray(), 1, url, answer);
    const QString start = object->value("startAddress"_L1).toString();
    const QString end = object->value("endAddress"_L1).toString();
    const std::optional<Ipv4> first = parseAnswerAddress(start);
    const std::optional<Ipv4> last = parseAnswerAddress(end);
    if (first && last && *first <= *last) {
        answer.range = Ipv4Range{*first, *last};
    }
    const std::optional<Ipv6> first6 = parseAnswerAddress6(start);
    const std::optional<Ipv6> last6 = parseAnswerAddress6(end);
    if (first6 && last6 && *first6 <= *last6) {
        answer.range6 = Ipv6Range{*first6, *last6};
    }
    return answer;
}

RdapAnswer parseRdapEntity(const QByteArray& body)
{
    RdapAnswer answer;
    if (const std::optional<QJsonObject> object = answerObject(body, answer.error)) {
        answer.abuse = vcardEmails(*object);
    }
    return answer;
}

bool isUsableEmail(QStringView address)
{
    const qsizetype at = address.indexOf(u'@');
    if (at <= 0 || at == address.size() - 1 || address.size() > LongestEmail || address.indexOf(u'@', at + 1) >= 0 ||
        !address.sliced(at + 1).contains(u'.')) {
        return false;
    }
    return std::none_of(address.begin(), address.end(), [](QChar c) {
        return c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
    });
}

void appendOnce(QStringList& list, const QString& address)
{
    if (!list.contains(address, Qt::CaseInsensitive)) {
        list.append(address);
    }
}

QString printableExcerpt(QStringView text, qsizetype limit)
{
    QString excerpt;
    qsizetype kept = 0;
    bool blankPending = false;
    bool cut = false;
    for (const char32_t c : text.toUcs4()) {
        if (!QChar::isPrint(c) || QChar::isSpace(c)) {
            blankPending = !excerpt.isEmpty();
            continue;
        }
        if (kept == limit) {
            cut = true;
            break;
        }
        if (blankPending) {
            excerpt += u' ';
            blankPending = false;
            ++kept;
            if (kept == limit) {
                cut = true;
                break;
            }
        }
        excerpt += QStringView(QChar::fromUcs4(c));
        ++kept;
    }
    if (cut) {
        excerpt = excerpt.trimmed() + u'\u2026';
    }
    return excerpt;
}
