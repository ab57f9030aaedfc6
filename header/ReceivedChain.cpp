// SPDX-License-Identifier: GPL-3.0-or-later
#include "header/ReceivedChain.h"

#include "common/DottedQuad.h"

#include <array>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// ---------------------------------------------------------------- addresses

/// Longest text an address literal can take: an IPv6 address with an IPv4 tail
/// is 45 characters; longer text is refused before it is looked at.
constexpr qsizetype kLongestAddress = 45;

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(QChar c)
{
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

/// The strict decimal form, so "010.1.1.1" or "1.2.3" is not taken for an address.
bool isDottedQuad(QStringView text)
{
    return parseIpv4(text).has_value();
}

/// An IPv6 literal in the text forms of RFC 4291: eight groups of one to four
/// hex digits, at most one "::" standing for one or more zero groups, and
/// optionally a dotted quad as the last two groups. No zone ("%eth0").
bool isIpv6Literal(QStringView text)
{
    if (text.size() < 2 || text.size() > kLongestAddress) {
        return false;
    }
    int groups = 0;
    bool compressed = false;
    qsizetype at = 0;
    if (text.startsWith(u"::")) {
        compressed = true;
        at = 2;
        if (at == text.size()) {
            return true; // "::", the unspecified address
        }
    } else if (text.front() == u':') {
        return false;
    }
    while (at < text.size()) {
        qsizetype end = at;
        while (end < text.size() && isHexDigit(text[end]) && end - at < 5) {
            ++end;
        }
        if (end < text.size() && text[end] == u'.') {
            // The IPv4 tail ends the literal and fills two groups.
            if (!isDottedQuad(text.sliced(at))) {
                return false;
            }
            groups += 2;
            at = text.size();
            break;
        }
        if (end == at || end - at > 4) {
            return false;
        }
        ++groups;
        at = end;
        if (at == text.size()) {
            break;
        }
        if (text[at] != u':') {
            return false;
        }
        ++at;
        if (at < text.size() && text[at] == u':') {
            if (compressed) {
                return false;
            }
            compressed = true;
            ++at;
            if (at == text.size()) {
                break; // a trailing "::"
            }
        } else if (at == text.size()) {
            return false; // a single trailing ":"
        }
    }
    return compressed ? groups < 8 : groups == 8;
}

bool isAddress(QStringView text)
{
    return isDottedQuad(text) || isIpv6Literal(text);
}

/// The address of a literal word: "[1.2.3.4]", "[IPv6:2001:db8::1]",
/// "[1.2.3.4]:25" or "[1.2.3.4:25]". Anything that is not a valid IPv4 or IPv6
/// address inside the brackets gives nothing.
std::optional<QString> literalAddress(QStringView word)
{
    if (!word.startsWith(u'[')) {
        return std::nullopt;
    }
    const qsizetype close = word.indexOf(u']');
    if (close < 0) {
        return std::nullopt;
    }
    const QStringView rest = word.sliced(close + 1);
    if (!rest.isEmpty()) {
        // Only a port may follow the bracket.
        if (rest.size() < 2 || rest.front() != u':') {
            return std::nullopt;
        }
        for (const QChar c : rest.sliced(1)) {
            if (!isDigit(c)) {
                return std::nullopt;
            }
        }
    }
    QStringView inner = word.sliced(1, close - 1);
    if (inner.startsWith(u"IPv6:", Qt::CaseInsensitive)) {
        inner = inner.sliced(5);
        return isIpv6Literal(inner) ? std::optional<QString>(inner.toString()) : std::nullopt;
    }
    if (isAddress(inner)) {
        return inner.toString();
    }
    // "[1.2.3.4:25]": a port inside the brackets, for IPv4 only, where it cannot
    // be mistaken for a group of the address.
    const qsizetype colon = inner.lastIndexOf(u':');
    if (colon > 0 && colon + 1 < inner.size() && isDottedQuad(inner.first(colon))) {
        for (const QChar c : inner.sliced(colon + 1)) {
            if (!isDigit(c)) {
                return std::nullopt;
            }
        }
        return inner.first(colon).toString();
    }
    return std::nullopt;
}

// ------------------------------------------------------------------ tokens

/// A word (a run of text between blanks, parentheses and semicolons), a
/// comment (the text inside a pair of parentheses, nested ones included) or a
/// semicolon, all at one level of nesting.
struct Token
{
    enum Kind
    {
        Word,
        Comment,
        Semicolon
    };
    Kind kind;
    QStringView text;
};

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

/// Splits text into the tokens of its outer level in one pass. A comment runs
/// to its matching ")" (a backslash quotes the next character) or, unclosed,
/// to the end of the text; a ")" without its "(" is dropped.
QList<Token> tokenize(QStringView text)
{
    QList<Token> tokens;
    qsizetype at = 0;
    const qsizetype size = text.size();
    while (at < size) {
        const QChar c = text[at];
        if (isSpace(c) || c == u')') {
            ++at;
        } else if (c == u';') {
            tokens.append({Token::Semicolon, text.sliced(at, 1)});
            ++at;
        } else if (c == u'(') {
            const qsizetype start = ++at;
            qsizetype depth = 1;
            while (at < size) {
                const QChar inside = text[at];
                if (inside == u'\\') {
                    at += 2;
                    continue;
                }
                if (inside == u'(') {
                    ++depth;
                } else if (inside == u')' && --depth == 0) {
                    break;
                }
                ++at;
            }
            at = qMin(at, size);
            tokens.append({Token::Comment, text.sliced(start, at - start)});
            ++at; // the closing ")"
        } else {
            const qsizetype start = at;
            while (at < size && !isSpace(text[at]) && text[at] != u'(' && text[at] != u')' && text[at] != u';') {
                ++at;
            }
            tokens.append({Token::Word, text.sliced(start, at - start)});
        }
    }
    return tokens;
}

bool isWord(const Token& token, QStringView word)
{
    return token.kind == Token::Word && token.text.compare(word, Qt::CaseInsensitive) == 0;
}

/// The word after the first outer-level `keyword` at or after `from`, or empty.
QString wordAfter(const QList<Token>& tokens, qsizetype from, QStringView keyword)
{
    for (qsizetype i = from; i + 1 < tokens.size(); ++i) {
        if (isWord(tokens[i], keyword) && tokens[i + 1].kind == Token::Word) {
            return tokens[i + 1].text.toString();
        }
    }
    return QString();
}

QStringView withoutQuotes(QStringView word)
{
    while (!word.isEmpty() && word.front() == u'"') {
        word = word.sliced(1);
    }
    while (!word.isEmpty() && word.back() == u'"') {
        word.chop(1);
    }
    return word;
}

/// Whether the word carries the HELO name: Exim's "helo=NAME" holds it, and
/// "HELO" / "EHLO" (qmail's comment, ZMailer's quoted "EHLO NAME") precedes it.
bool isHeloKeyword(QStringView word)
{
    const QStringView bare = withoutQuotes(word);
    return bare.compare(u"HELO", Qt::CaseInsensitive) == 0 || bare.compare(u"EHLO", Qt::CaseInsensitive) == 0;
}

bool isHeloAssignment(QStringView word)
{
    return word.startsWith(u"helo=", Qt::CaseInsensitive);
}

/// The HELO name a comment of the "from" part names, or nothing.
std::optional<QString> heloOfComment(const QList<Token>& words)
{
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (words[i].kind != Token::Word) {
            continue;
        }
        if (isHeloAssignment(words[i].text)) {
            return withoutQuotes(words[i].text.sliced(5)).toString();
        }
        if (isHeloKeyword(words[i].text) && i + 1 < words.size() && words[i + 1].kind == Token::Word) {
            return withoutQuotes(words[i + 1].text).toString();
        }
    }
    return std::nullopt;
}

/// Whether text a receiving server wrote next to a name says it did not
/// confirm the name. "forged" covers "may be forged".
bool hasUnverifiedMarker(QStringView text)
{
    static constexpr std::array<QStringView, 4> markers{u"unknown", u"forged", u"unverified", u"not verified"};
    for (const QStringView marker : markers) {
        if (text.contains(marker, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

/// Whether the words of a comment after its address literal mark the name as
/// unconfirmed. The HELO name is left out: the sender chooses it, and a HELO of
/// "forged.example" must not speak about the reverse name.
bool remainderIsUnverified(const QList<Token>& words, qsizetype after)
{
    QString remainder;
    for (qsizetype i = after; i < words.size(); ++i) {
        const Token& token = words[i];
        if (token.kind == Token::Word && isHeloAssignment(token.text)) {
            continue;
        }
        if (token.kind == Token::Word && isHeloKeyword(token.text)) {
            ++i; // and the name after it
            continue;
        }
        remainder += token.text;
        remainder += u' ';
    }
    return hasUnverifiedMarker(remainder);
}

bool isUnknown(QStringView name)
{
    return name.compare(u"unknown", Qt::CaseInsensitive) == 0;
}

/// A reverse name as a server wrote it: without an ident "user@" in front
/// (Sendmail) and without the trailing dot of a fully qualified name (Gmail).
QStringView cleanReverseName(QStringView name)
{
    const qsizetype at = name.lastIndexOf(u'@');
    if (at >= 0) {
        name = name.sliced(at + 1);
    }
    if (name.endsWith(u'.')) {
        name.chop(1);
    }
    return name;
}

void setReverseName(ReceivedHop& hop, QStringView name, bool unverified)
{
    if (name.isEmpty() || isUnknown(name)) {
        hop.reverseName.clear();
        hop.reverseVerified = false;
        return;
    }
    hop.reverseName = name.toString();
    hop.reverseVerified = !unverified;
}

// ------------------------------------------------------------------ fields

/// The hop of one unfolded Received value, if its "from" part names an address.
std::optional<ReceivedHop> parseField(QStringView value)
{
    QList<Token> tokens = tokenize(value);
    // Text after the last outer-level ";" is the date.
    for (qsizetype i = tokens.size() - 1; i >= 0; --i) {
        if (tokens[i].kind == Token::Semicolon) {
            tokens.resize(i);
            break;
        }
    }
    if (tokens.size() < 2 || !isWord(tokens[0], u"from") || tokens[1].kind != Token::Word) {
        return std::nullopt;
    }
    // The "from" part: the name after "from" and what follows up to the next
    // clause keyword.
    const QStringView name = tokens[1].text;
    qsizetype end = 2;
    while (end < tokens.size() && !isWord(tokens[end], u"by") && !isWord(tokens[end], u"with") &&
           !isWord(tokens[end], u"id") && !isWord(tokens[end], u"for") && !isWord(tokens[end], u"via")) {
        ++end;
    }

    // A HELO name that a comment names outright (Exim, qmail, ZMailer).
    std::optional<QString> namedHelo;
    for (qsizetype i = 2; i < end && !namedHelo; ++i) {
        if (tokens[i].kind == Token::Comment) {
            namedHelo = heloOfComment(tokenize(tokens[i].text));
        }
    }

    ReceivedHop hop;
    bool found = false;
    if (const std::optional<QString> address = literalAddress(name)) {
        // Exim without a reverse name: "from [ip] (helo=name)".
        hop.address = *address;
        hop.helo = namedHelo.value_or(QString());
        found = true;
    }
    for (qsizetype i = 2; i < end && !found; ++i) {
        const Token& token = tokens[i];
        if (token.kind == Token::Word) {
            // fetchmail: "from pop.example.org [ip] by localhost": the name is
            // the server it polled, no HELO was given.
            if (const std::optional<QString> address = literalAddress(token.text)) {
                hop.address = *address;
                setReverseName(hop, name, false);
                hop.helo = namedHelo.value_or(QString());
                found = true;
            }
            continue;
        }
        const QStringView trimmed = token.text.trimmed();
        if (isAddress(trimmed)) {
            // qmail "from rdns (HELO helo) (ip)", Microsoft "from name (ip)":
            // the name is the one the server recorded, and the HELO name when
            // no other is given (qmail leaves out a HELO equal to the name).
            hop.address = trimmed.toString();
            setReverseName(hop, name, false);
            hop.helo = namedHelo.value_or(name.toString());
            found = true;
            continue;
        }
        const QList<Token> words = tokenize(token.text);
        for (qsizetype w = 0; w < words.size() && !found; ++w) {
            if (words[w].kind != Token::Word) {
                continue;
            }
            const std::optional<QString> address = literalAddress(words[w].text);
            if (!address) {
                continue;
            }
            hop.address = *address;
            const bool unverified = remainderIsUnverified(words, w + 1);
            if (w == 1 && words[0].kind == Token::Word && !isHeloAssignment(words[0].text)) {
                // Postfix, Sendmail, Gmail: "from helo (rdns [ip])".
                setReverseName(hop, cleanReverseName(words[0].text), unverified);
                hop.helo = namedHelo.value_or(name.toString());
            } else if (namedHelo) {
                // Exim "from rdns ([ip] helo=helo)", ZMailer "from rdns
                // ([ip]:port "EHLO helo")": a server that names the HELO apart
                // puts the reverse name first.
                setReverseName(hop, name, unverified);
                hop.helo = *namedHelo;
            } else {
                // Sendmail without a reverse name: "from helo ([ip])".
                hop.helo = name.toString();
            }
            found = true;
        }
    }
    if (!found) {
        return std::nullopt;
    }
    hop.by = wordAfter(tokens, end, u"by");
    hop.with = wordAfter(tokens, end, u"with");
    return hop;
}

bool isFoldingBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

/// Whether a header line starts a Received field; `value` is then its text
/// after the colon.
bool isReceivedLine(QStringView line, QStringView& value)
{
    const qsizetype colon = line.indexOf(u':');
    if (colon < 0) {
        return false;
    }
    QStringView name = line.first(colon);
    while (!name.isEmpty() && isFoldingBlank(name.back())) {
        name.chop(1);
    }
    if (name.compare(u"Received", Qt::CaseInsensitive) != 0) {
        return false;
    }
    value = line.sliced(colon + 1);
    return true;
}

} // namespace

QList<ReceivedHop> ParseReceivedChain(QStringView header)
{
    QList<ReceivedHop> hops;
    QString field; // the unfolded value of the Received field being read
    bool inField = false;
    const auto finishField = [&] {
        if (inField) {
            if (std::optional<ReceivedHop> hop = parseField(field)) {
                hops.append(std::move(*hop));
            }
        }
        field.clear();
        inField = false;
    };
    qsizetype at = 0;
    while (at < header.size()) {
        qsizetype end = header.indexOf(u'\n', at);
        const qsizetype next = end < 0 ? header.size() : end + 1;
        if (end < 0) {
            end = header.size();
        }
        QStringView line = header.sliced(at, end - at);
        at = next;
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            break; // the empty line that ends the header block
        }
        if (isFoldingBlank(line.front())) {
            // A continuation: the line break goes, its leading blank stays.
            if (inField) {
                field += line;
            }
            continue;
        }
        finishField();
        QStringView value;
        if (isReceivedLine(line, value)) {
            field = value.toString();
            inField = true;
        }
    }
    finishField();
    return hops;
}
