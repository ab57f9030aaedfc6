// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

/// Name of the do-not-send list in the program's directory.
inline constexpr QStringView DoNotSendFileName = u"donotsend.txt";

/// The path of the do-not-send list in `programDirectory`.
QString doNotSendFilePath(const QString& programDirectory);

/// Every entry of the do-not-send list in `programDirectory`, in file order,
/// empty ones included (a blank line is one empty entry). The file is read at
/// once and closed before this returns; a missing file, or one that cannot be
/// read to its end, has no entries. This is the one reader of the list: the
/// filter and the configuration dialog both read through it.
///
/// The text is UTF-8, bytes that are not taken as Latin-1, a leading byte-order
/// mark dropped. An entry ends at a comma or at the end of a line (CR LF, a lone
/// LF or a lone CR). Blanks and tabs in front of an entry are skipped, blanks at
/// the end of an unquoted entry are dropped. An entry that begins with a double
/// quote runs to the next double quote and is taken without the quotes; anything
/// between the closing quote and the next comma or line end is passed over.
QStringList readDoNotSendList(const QString& programDirectory);

/// The entries of the list's bytes, as `readDoNotSendList` reads the file.
QStringList parseDoNotSendList(QByteArrayView bytes);

/// Appends `entry` to the list as one line ended by CR LF, creating the file if
/// it is missing; a last line without its line end gets one first. On failure the file is left as it was (a partly
/// written line is taken back) and `error`, when given, tells the path and the system's reason.
bool appendDoNotSendEntry(const QString& programDirectory, const QString& entry, QString* error = nullptr);

/// Replaces the whole list with `entries`, one line each ended by CR LF, in
/// order. The lines go to a temporary file that is then renamed over the list,
/// so a failure on the way leaves the old list whole; `error`, when given, tells
/// the path and the system's reason.
bool writeDoNotSendList(const QString& programDirectory, const QStringList& entries, QString* error = nullptr);

/// Whether the do-not-send list in `programDirectory` refuses the address
/// `strIn`: true when any entry of three or more characters occurs in it
/// (case-sensitive). The file is read afresh on every call; a missing or
/// unreadable file refuses nothing.
bool DontSend(const QString& strIn, const QString& programDirectory);

/// The entries of a do-not-send list made ready for many addresses: refuses
/// exactly what `DontSend` refuses, but looks at only the entries that begin
/// with the characters at each place of the address instead of at every entry.
/// A harvest reads the list once and asks this for each of its addresses.
class DoNotSendFilter
{
public:
    explicit DoNotSendFilter(const QStringList& entries);

    bool refuses(QStringView address) const;

private:
    QHash<quint64, QStringList> m_byLeadingCharacters;
};
