// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "complaint/AbuseRow.h"

#include <QList>
#include <QString>

/// The subject of a sent complaint and the title line of a copied one.
inline constexpr QStringView ComplaintTitle = u"Spam Complaint";

/// The recipients: every unticked row in list order, each followed by ";"
/// ("A;C;"), empty when no row is unticked.
QString ComplaintRecipients(const QList<AbuseRow>& rows);

/// The body of a complaint as it is sent: the lead-in, the header and the body
/// between two banner lines, the footer and the product's web address. The
/// header and body are taken as they are; every line ends with CR LF.
QString ComplaintBody(const QString& header, const QString& body);

/// The complaint as it goes on the clipboard: the recipients line, an empty
/// line and the title, then `ComplaintBody`.
QString ComplaintText(const QList<AbuseRow>& rows, const QString& header, const QString& body);

/// The header, CR LF, the body, CR LF, CR LF: what Copy Header / Body copies.
QString HeaderBodyText(const QString& header, const QString& body);
