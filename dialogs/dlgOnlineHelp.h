// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs/FixedLayout.h"

#include <QDialog>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <span>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;

/// The online help: a light page view that fetches the help page from the web
/// site at every opening and shows it when it has arrived. When the page cannot
/// be fetched (no answer in time, a network error, an HTTP status of 400 or
/// more) it shows the copy installed with the program under one line that says
/// so. Links open in the desktop's browser.
class dlgOnlineHelp final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(dlgOnlineHelp)

public:
    enum class PageSource
    {
        Site,
        InstalledCopy
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

    /// Closes at once, dropping a fetch still under way.
    void done(int result) override;

Q_SIGNALS:
    /// The view has been filled, from the site or with the installed copy.
    void pageShown(dlgOnlineHelp::PageSource source);

private:
    void startFetch(std::chrono::milliseconds timeLimit);
    void stopFetch();
    void fetchFinished();
    void showInstalledCopy(const QString& reason);
    void showPage(const QString& html, const QUrl& pageUrl, PageSource source);
    void openLink(const QUrl& link);

    QUrl m_address;
    /// Where the page on view came from; its links are relative to it.
    QUrl m_pageUrl;
    QTextBrowser* m_wbOnlineHelp = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
    QTimer m_timeLimit;
};
