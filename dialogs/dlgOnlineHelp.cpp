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

// The port a URL of `scheme` means when it names none.
int defaultPort(const QString& scheme)
{
    return scheme == u"https" ? 443 : 80;
}

} // namespace

dlgOnlineHelp::dlgOnlineHelp(const QUrl& address, std::chrono::milliseconds timeLimit, QWidget* parent)
    : QDialog(parent)
    , m_address(address)
    , m_network(new QNetworkAccessManager(this))
    , m_openOnDesktop([](const QUrl& url) { QDesktopServices::openUrl(url); })
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
    m_timeLimit.setInterval(timeLimit);
    connect(&m_timeLimit, &QTimer::timeout, this, [this] {
        stopFetch();
        fetchFailed(u"no answer within %1 seconds"_s.arg(double(m_timeLimit.interval()) / 1000.0));
    });
    startFetch(m_address);
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

void dlgOnlineHelp::startFetch(const QUrl& target)
{
    m_target = target;
    QNetworkRequest request(target.adjusted(QUrl::RemoveFragment));
    // Every page is fetched anew: no cached copy, here or in a proxy on the way.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::finished, this, &dlgOnlineHelp::fetchFinished);
    m_timeLimit.start();
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
        fetchFailed(QString(u"HTTP "_s + QString::number(status) + u' ' + phrase).trimmed());
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fetchFailed(reply->errorString());
        return;
    }
    // After a redirect the page's links are relative to where it was found.
    QUrl foundAt = reply->url();
    if (m_target.hasFragment()) {
        foundAt.setFragment(m_target.fragment(QUrl::FullyEncoded), QUrl::StrictMode);
    }
    const QByteArray contentType = reply->rawHeader("Content-Type");
    if (isOpening()) {
        m_foundAt = foundAt;
    } else if (!contentType.isEmpty() && !contentType.toLower().startsWith("text/html")) {
        // A download or a document of another kind: the desktop has the program for it.
        m_openOnDesktop(foundAt);
        return;
    }
    showPage(decodePage(reply->readAll(), contentType), foundAt, PageSource::Site);
}

// The help page itself gives way to the installed copy; another page of the
// site to a line that says why it is not there.
void dlgOnlineHelp::fetchFailed(const QString& reason)
{
    if (isOpening() || m_target.adjusted(QUrl::RemoveFragment) == m_address.adjusted(QUrl::RemoveFragment)) {
        showInstalledCopy(reason);
        return;
    }
    const QString line =
        u"The page %1 could not be fetched (%2)."_s.arg(m_target.toDisplayString(QUrl::RemoveFragment), reason);
    showPage(u"<html><body><p><b>"_s + line.toHtmlEscaped() + u"</b></p></body></html>"_s, m_target,
             PageSource::FailureNotice);
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
    m_pageUrl = pageUrl.adjusted(QUrl::RemoveFragment);
    m_wbOnlineHelp->document()->setBaseUrl(m_pageUrl);
    m_wbOnlineHelp->setHtml(html);
    if (pageUrl.hasFragment()) {
        m_wbOnlineHelp->scrollToAnchor(pageUrl.fragment());
    }
    Q_EMIT pageShown(source);
}

void dlgOnlineHelp::openLink(const QUrl& link)
{
    const QUrl target = m_pageUrl.resolved(link);
    if (target.hasFragment() && target.adjusted(QUrl::RemoveFragment) == m_pageUrl) {
        m_wbOnlineHelp->scrollToAnchor(target.fragment());
        return;
    }
    if (!isOnHelpSite(target)) {
        m_openOnDesktop(target);
        return;
    }
    // A page still on its way gives way to the one asked for now.
    stopFetch();
    startFetch(target);
}

// The help's site: the scheme, host and port of the help page's address, or of
// the address the page was found at after a redirect.
bool dlgOnlineHelp::isOnHelpSite(const QUrl& url) const
{
    const auto sameSite = [&url](const QUrl& site) {
        return site.isValid() && url.scheme() == site.scheme() && url.host() == site.host() &&
               url.port(defaultPort(url.scheme())) == site.port(defaultPort(site.scheme()));
    };
    const bool web = url.scheme() == u"http" || url.scheme() == u"https";
    return web && (sameSite(m_address) || sameSite(m_foundAt));
}
