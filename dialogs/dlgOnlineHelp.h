// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs/FixedLayout.h"

#include <QDialog>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <span>
#include <utility>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;

/// The online help: a light page view that fetches the help page from the web
/// site at every opening and shows it when it has arrived. When the page cannot
/// be fetched (no answer in time, a network error, an HTTP status of 400 or
/// more) it shows the copy installed with the program under one line that says
/// so. A link to another page of the help's own site (same scheme, host and
/// port) is fetched and shown in the view, and a link to a place in the page on
/// view scrolls there; any other link, and a page of the site that is not HTML,
/// is handed to the desktop.
class dlgOnlineHelp final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(dlgOnlineHelp)

public:
    enum class PageSource
    {
        Site,
        InstalledCopy,
        /// A line saying that a page a link leads to could not be fetched.
        FailureNotice
    };
    Q_ENUM(PageSource)

    static constexpr std::chrono::milliseconds DefaultTimeLimit{10'000};

    /// Builds the dialog and starts fetching `address` at once; after
    /// `timeLimit` without the whole page the installed copy is shown instead.
    /// It has no owner: the caller shows it with exec().
    explicit dlgOnlineHelp(const QUrl& address = helpPageAddress(),
                           std::chrono::milliseconds timeLimit = DefaultTimeLimit, QWidget* parent = nullptr);
    ~dlgOnlineHelp() override;

    /// The dialog's controls, as built; the tests compare the live widgets with it.
    static std::span<const ControlSpec> layout();

    /// The help page on the product's web site, or the address in
    /// ZELKOR_HELP_URL when that is set (a mirror, or a test's server).
    static QUrl helpPageAddress();

    /// Whether the page is still on its way.
    bool isFetching() const { return m_reply != nullptr; }

    /// What opens the links the view does not follow itself; the desktop's
    /// default application for the address unless replaced.
    using DesktopOpener = std::function<void(const QUrl&)>;
    void setDesktopOpener(DesktopOpener opener) { m_openOnDesktop = std::move(opener); }

    /// Closes at once, dropping a fetch still under way.
    void done(int result) override;

Q_SIGNALS:
    /// The view has been filled, from the site or with the installed copy.
    void pageShown(dlgOnlineHelp::PageSource source);

private:
    /// Fetches `target` for the view; its fragment is the place to scroll to.
    void startFetch(const QUrl& target);
    void stopFetch();
    void fetchFinished();
    void fetchFailed(const QString& reason);
    void showInstalledCopy(const QString& reason);
    void showPage(const QString& html, const QUrl& pageUrl, PageSource source);
    void openLink(const QUrl& link);
    bool isOnHelpSite(const QUrl& url) const;
    /// The fetch made at opening: no page is on view yet.
    bool isOpening() const { return m_pageUrl.isEmpty(); }

    QUrl m_address;
    /// Where the help page was found, after any redirect.
    QUrl m_foundAt;
    /// Where the page on view came from; its links are relative to it.
    QUrl m_pageUrl;
    /// The page being fetched, with the fragment to scroll to once it is shown.
    QUrl m_target;
    QTextBrowser* m_wbOnlineHelp = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
    QTimer m_timeLimit;
    DesktopOpener m_openOnDesktop;
};
