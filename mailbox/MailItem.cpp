// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox/MailItem.h"

#include "common/LineEnds.h"
#include "common/TextCodec.h"
#include "mailbox/MessageText.h"
#include "mailbox/VmimeSupport.h"

#include <algorithm>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

// Bytes in a declared charset to text. The common cases and charsets that
// iconv does not know go through the project's UTF-8-or-Latin-1 decoder, so a
// part that lies about its charset still shows.
QString decodeCharset(const vmime::string& bytes, const vmime::charset& charset)
{
    const QString name = QString::fromStdString(charset.getName()).toLower();
    if (name.isEmpty() || name == u"us-ascii" || name == u"utf-8" || name == u"utf8") {
        return decodeTextFile(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    try {
        vmime::string converted;
        vmime::charset::convert(bytes, converted, charset, vmime::charsets::UTF_8);
        return vmimesupport::fromUtf8(converted);
    } catch (const std::exception&) {
        return decodeTextFile(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
}

bool isAttachment(const vmime::header& header)
{
    const auto field = header.findField(vmime::fields::CONTENT_DISPOSITION);
    if (!field) {
        return false;
    }
    const auto disposition = field->getValue<vmime::contentDisposition>();
    return disposition &&
           QString::fromStdString(disposition->getName()).compare(u"attachment", Qt::CaseInsensitive) == 0;
}

// Depth first, in the order of the message: the first text/html and the first
// text/plain part that are not attachments.
void collectBodies(const vmime::bodyPart& part, MailItem& item)
{
    const auto body = part.getBody();
    if (body->getPartCount() > 0) {
        for (size_t i = 0; i < body->getPartCount(); ++i) {
            collectBodies(*body->getPartAt(i), item);
        }
        return;
    }
    // A part without a Content-Type is text/plain (RFC 2045).
    vmime::mediaType type(vmime::mediaTypes::TEXT, vmime::mediaTypes::TEXT_PLAIN);
    if (const auto field = part.getHeader()->findField(vmime::fields::CONTENT_TYPE)) {
        if (const auto value = field->getValue<vmime::mediaType>()) {
            type = *value;
        }
    }
    if (type.getType() != vmime::mediaTypes::TEXT || isAttachment(*part.getHeader())) {
        return;
    }
    const bool isHtml = type.getSubType() == vmime::mediaTypes::TEXT_HTML;
    const bool isPlain = type.getSubType() == vmime::mediaTypes::TEXT_PLAIN;
    if ((isHtml && !item.HTMLBody.isEmpty()) || (isPlain && !item.Body.isEmpty()) || (!isHtml && !isPlain)) {
        return;
    }
    vmime::string decoded;
    vmime::utility::outputStreamStringAdapter out(decoded);
    try {
        body->getContents()->extract(out);
    } catch (const std::exception&) {
        // An unknown transfer encoding: show the part as it stands.
        decoded.clear();
        body->getContents()->extractRaw(out);
    }
    vmime::charset charset = vmime::charsets::US_ASCII;
    try {
        charset = body->getCharset();
    } catch (const std::exception&) {
        // No charset parameter: US-ASCII, which the decoder widens to UTF-8 or Latin-1.
    }
    // The workbench's text boxes hold CR LF line breaks, whatever the store gave.
    (isHtml ? item.HTMLBody : item.Body) = toCrLf(decodeCharset(decoded, charset));
}

// vmime's MIME parser takes time that grows much faster than the message with
// the number and nesting of multipart parts: a 1 MB message nested 20,000 deep
// does not end within minutes. Real mail has a handful of them.
constexpr qsizetype MaxMimeBytes = 8 * 1024 * 1024;
constexpr qsizetype MaxMultipartHeaders = 100;

bool fitsTheMimeParser(QByteArrayView raw)
{
    if (raw.size() > MaxMimeBytes) {
        return false;
    }
    static constexpr std::string_view multipart = "multipart/";
    // The count runs over the message as it stands: no lower-cased copy of it.
    const auto sameLetter = [](char a, char b) { return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b; };
    qsizetype count = 0;
    for (auto at = raw.begin(); at != raw.end(); ++at) {
        at = std::search(at, raw.end(), multipart.begin(), multipart.end(), sameLetter);
        if (at == raw.end()) {
            break;
        }
        if (++count > MaxMultipartHeaders) {
            return false;
        }
    }
    return true;
}

void takeSubject(const vmime::message& message, MailItem& item)
{
    if (const auto field = message.getHeader()->findField(vmime::fields::SUBJECT)) {
        if (const auto subject = field->getValue<vmime::text>()) {
            vmime::charsetConverterOptions options;
            options.silentlyReplaceInvalidSequences = true;
            QString text = vmimesupport::fromUtf8(subject->getConvertedText(vmime::charsets::UTF_8, options));
            // Folded header lines join with their blank (RFC 5322 unfolding).
            text.remove(u'\r');
            text.remove(u'\n');
            item.Subject = text;
        }
    }
}

} // namespace

MailItem parseMailItem(QByteArrayView raw, const QString& entryId)
{
    vmimesupport::initialise();
    MailItem item;
    item.EntryID = entryId;
    vmime::message message;
    if (!fitsTheMimeParser(raw)) {
        // Only the header block goes to the parser, for the subject; the body
        // is shown as it stands.
        const MessageText text = SplitMessage(raw);
        message.parse(vmimesupport::toUtf8(text.header));
        takeSubject(message, item);
        item.Body = text.body;
        return item;
    }
    message.parse(vmime::string(raw.data(), static_cast<size_t>(raw.size())));
    takeSubject(message, item);
    collectBodies(message, item);
    return item;
}
