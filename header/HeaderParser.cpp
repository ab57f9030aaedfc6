// SPDX-License-Identifier: GPL-3.0-or-later
#include "header/HeaderParser.h"

#include "common/Blanks.h"
#include "common/CaseMapping.h"
#include "header/RelayAddress.h"

#include <QSet>

#include <array>

using namespace Qt::StringLiterals;

namespace {

struct KnownField
{
    QStringView name;
    QStringView label;
};

constexpr QStringView ReceivedName = u"received";
constexpr QStringView FirstReceivedLabel = u"X  received: ";

// Field names as compared after conversion to lower case, and their row labels,
// right-aligned to 13 characters so that the colons line up in a fixed-pitch list.
constexpr std::array<KnownField, 16> KnownFields{{
    {u"return-path", u"return-path: "},
    {u"received", u"   received: "},
    {u"from", u"       from: "},
    {u"sender", u"     sender: "},
    {u"reply-to", u"   reply-to: "},
    {u"to", u"         to: "},
    {u"cc", u"         cc: "},
    {u"bcc", u"        bcc: "},
    {u"message-id", u" message-id: "},
    {u"in-reply-to", u"in-reply-to: "},
    {u"references", u" references: "},
    {u"keywords", u"   keywords: "},
    {u"subject", u"    subject: "},
    {u"comments", u"   comments: "},
    {u"encrypted", u"  encrypted: "},
    {u"date", u"       date: "},
}};

const KnownField* findField(const QString& name)
{
    for (const KnownField& field : KnownFields) {
        if (name == field.name) {
            return &field;
        }
    }
    return nullptr;
}

QString relayAddressOf(const QString& value)
{
    QString address = ExtractBracketedAddress(value);
    if (address.isEmpty()) {
        address = FindDottedAddress(value);
    }
    return address;
}

} // namespace

ParsedHeader ParseHeader(const QString& strMessage, bool& blnReceivedMarked)
{
    ParsedHeader parsed;
    const qsizetype length = strMessage.size();
    if (length > MaxHeaderLength) {
        parsed.outcome = ParsedHeader::Outcome::TooLong;
        parsed.failure =
            u"Overflow: the header has %1 characters, more than the %2 that can be analysed"_s.arg(length).arg(
                MaxHeaderLength);
        return parsed;
    }
    if (length == 0) {
        parsed.outcome = ParsedHeader::Outcome::EmptyText;
        return parsed;
    }

    const QStringView text = QStringView(strMessage).first(length - 1);
    if (text.isEmpty()) {
        return parsed;
    }
    // A header of relays only has some 700 of them; a set keeps the check for
    // repeats from growing with the square of that.
    QSet<QString> seenAddresses;
    for (const QStringView line : text.split(u"\r\n")) {
        const qsizetype colon = line.indexOf(u':');
        const QString name = colon < 0 ? QString() : toLowerOneForOne(line.first(colon));
        const KnownField* field = findField(name);
        if (field == nullptr) {
            continue;
        }
        const QString value = trimBlanks(colon < 0 ? line : line.sliced(colon + 1)).toString();
        if (field->name != ReceivedName) {
            parsed.rows.append(field->label % u'\t' % value);
            continue;
        }
        const QStringView label = blnReceivedMarked ? field->label : FirstReceivedLabel;
        blnReceivedMarked = true;
        parsed.rows.append(label % u'\t' % value);
        const QString address = relayAddressOf(value);
        if (!address.isEmpty() && !seenAddresses.contains(address)) {
            seenAddresses.insert(address);
            parsed.addresses.append(address);
        }
    }
    return parsed;
}
