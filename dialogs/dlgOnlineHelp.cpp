// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/dlgOnlineHelp.h"

#include "common/ProductInfo.h"

#include <QDesktopServices>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBrowser>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr ControlSpec Layout[] = {
    {.name = u"wbOnlineHelp", .kind = ControlKind::PageView, .twips = {120, 120, 9615, 6135}, .tab = 2},
    {.name = u"OKButton", .kind = ControlKind::Button, .caption = u"OK", .twips = {4373, 6360, 1215, 375}, .tab = 1},
};

constexpr QRect ClientTwips{0, 0, 9960, 6885};

constexpr QStringView InstalledCopy = u":/help/spamcontrolhelp.htm";

// The page's own charset: the Content-Type header's, else a byte-order mark or
// a <meta> charset in the page, else UTF-8.
QString decodePage(const QByteArray& bytes, const QByteArray& contentType)
{
    static const QRegularExpression charset(u"charset\\s*=\\s*\"?([^\";\\s]+)"_s,
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = charset.match(QString::fromLatin1(contentType));
    if (match.hasMatch()) {
        QStringDecoder declared(match.captured(1).toLatin1().constData());
        if (declared.isValid()) {
            return declared.decode(bytes);
        }
    }
    QStringDecoder fromPage = QStringDecoder::decoderForHtml(bytes);
    if (fromPage.isValid()) {
        return fromPage.decode(bytes);
    }
    return QString::fromUtf8(bytes);
}

// The page with `line` as its first paragraph, right after the <body> tag.
QString withHeadingLine(const QString& html, const QString& line)
{
    static const QRegularExpression body(u"<body[^>]*>"_s, QRegularExpression::CaseInsensitiveOption);
    const QString paragraph = u"<p><b>"_s + line.toHtmlEscaped() + u"</b></p>"_s;
    const QRegularExpressionMatch match = body.match(html);
    if (!match.hasMatch()) {
        return paragraph + html;
    }
    QString headed = html;
    headed.insert(match.capturedEnd(), paragraph);
    return headed;
}

} // namespace

dlgOnlineHelp::dlgOnlineHelp(const QUrl& address, std::chrono::milliseconds timeLimit, QWidget* parent)
    : QDialog(parent)
    , m_address(address)
    , m_network(new QNetworkAccessManager(this))
{
    setWindowTitle(u"Zelkor II Online Help"_s);
    setModal(true);
    buildFixedLayout(*this, Layout);
    setFixedSize(pixelsFromTwips(ClientTwips).size());

    m_wbOnlineHelp = findChild<QTextBrowser*>(u"wbOnlineHelp"_s, Qt::FindDirectChildrenOnly);
    auto* okButton = findChild<QPushButton*>(u"OKButton"_s, Qt::FindDirectChildrenOnly);
    Q_ASSERT(m_wbOnlineHelp != nullptr && okButton != nullptr);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_wbOnlineHelp, &QTextBrowser::anchorClicked, this, &dlgOnlineHelp::openLink);
    okButton->setFocus();

    m_timeLimit.setSingleShot(true);
    connect(&m_timeLimit, &QTimer::timeout, this, [this] {
        stopFetch();
        showInstalledCopy(u"no answer within %1 seconds"_s.arg(double(m_timeLimit.interval()) / 1000.0));
    });
    startFetch(timeLimit);
}

dlgOnlineHelp::~dlgOnlineHelp()
{
    stopFetch();
}

std::span<const ControlSpec> dlgOnlineHelp::layout()
{
    return Layout;
}

QUrl dlgOnlineHelp::helpPageAddress()
{
    const QUrl mirror(qEnvironmentVariable("ZELKOR_HELP_URL"));
    if (mirror.isValid() && !mirror.isEmpty()) {
        return mirror;
    }
    return QUrl(productWebAddress() + u"/spamcontrolhelp.htm"_s);
}

void dlgOnlineHelp::done(int result)
{
    stopFetch();
    QDialog::done(result);
}

void dlgOnlineHelp::startFetch(std::chrono::milliseconds timeLimit)
{
    QNetworkRequest request(m_address);
    // Fetched anew at every opening: no cached copy, here or in a proxy on the way.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::finished, this, &dlgOnlineHelp::fetchFinished);
    m_timeLimit.start(timeLimit);
}

void dlgOnlineHelp::stopFetch()
{
    m_timeLimit.stop();
    if (m_reply == nullptr) {
        return;
    }
    // abort() announces finished(); nobody is to hear it any more.
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void dlgOnlineHelp::fetchFinished()
{
    m_timeLimit.stop();
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) {
        const QString phrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        showInstalledCopy(QString(u"HTTP "_s + QString::number(status) + u' ' + phrase).trimmed());
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        showInstalledCopy(reply->errorString());
        return;
    }
    // After a redirect the page's links are relative to where it was found.
    showPage(decodePage(reply->readAll(), reply->rawHeader("Content-Type")), reply->url(), PageSource::Site);
}

void dlgOnlineHelp::showInstalledCopy(const QString& reason)
{
    QFile file(InstalledCopy.toString());
    const QString html = file.open(QIODevice::ReadOnly) ? decodePage(file.readAll(), {}) : QString();
    const QString line = u"The Zelkor II web site could not be reached (%1); this is the copy of the help installed "
                         u"with the program."_s.arg(reason);
    // The installed copy is a copy of the site's page, so its relative links
    // mean the site's pages as well.
    showPage(withHeadingLine(html, line), m_address, PageSource::InstalledCopy);
}

void dlgOnlineHelp::showPage(const QString& html, const QUrl& pageUrl, PageSource source)
{
    m_pageUrl = pageUrl;
    m_wbOnlineHelp->document()->setBaseUrl(pageUrl);
    m_wbOnlineHelp->setHtml(html);
    Q_EMIT pageShown(source);
}

void dlgOnlineHelp::openLink(const QUrl& link)
{
    const QUrl target = m_pageUrl.resolved(link);
    if (target.hasFragment() && target.adjusted(QUrl::RemoveFragment) == m_pageUrl.adjusted(QUrl::RemoveFragment)) {
        m_wbOnlineHelp->scrollToAnchor(target.fragment());
        return;
    }
    // The view shows the help page only; everything else opens in the browser.
    QDesktopServices::openUrl(target);
}
