// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor: the desktop window of Zelkor II.
#include "common/SettingsFile.h"
#include "journal/Journal.h"
#include "rdap/RdapSettings.h"
#include "resolve/CaresResolver.h"
#include "trust/TrustSettings.h"
#include "whois/WhoisServerMap.h"
#include "whois/WhoisSettings.h"
#include "window/Artwork.h"
#include "window/frmMain.h"
#include "workbench/MessageFile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Zelkor II"_s);
    QApplication::setApplicationVersion(u"1.2.1"_s);
    QApplication::setDesktopFileName(u"zelkor"_s);
    QApplication::setWindowIcon(ZelkorIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Complain about spam to the networks that carried it."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(u"FILE"_s, u"A message to open (header, empty line, body), or - for standard input."_s,
                                 u"[FILE]"_s);
    parser.process(app);

    QString whoisError;
    const std::optional<WhoisServerMap> whoisServers = WhoisServerMap::fromEnvironment(&whoisError);
    if (!whoisServers) {
        QMessageBox::critical(nullptr, u"Zelkor II"_s, u"ZELKOR_WHOIS_SERVERS: "_s + whoisError);
        return 2;
    }
    CaresResolver resolver(CaresResolver::serversFromEnvironment());
    frmMain window({resolver,
                    QCoreApplication::applicationDirPath(),
                    {.servers = *whoisServers},
                    {},
                    {},
                    {.dnsServers = CaresResolver::serversFromEnvironment()},
                    Journal::defaultPath()});
    const AbuseContactSettings abuseContacts = readAbuseContactSettings(settingsFilePath());
    window.workbench().setRdapEnabled(abuseContacts.rdap);
    window.workbench().setDesignated(abuseContacts.designated);
    window.workbench().setContactZone(abuseContacts.contactZone);
    const TrustSettings trust = readTrustSettings(settingsFilePath());
    window.workbench().setTrust(trust.options);
    const WhoisSettings whois = readWhoisSettings(settingsFilePath());
    window.workbench().setDailyLimits(whois.dailyLimits);
    window.workbench().setCacheHours(whois.cacheHours);

    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        const MessageFile input = ReadMessageFile(files.first());
        if (input.message) {
            window.workbench().LoadMessage(*input.message);
        } else {
            window.workbench().ShowStatus(input.error);
        }
    }
    // A settings file that cannot be read leaves RDAP off and says why.
    if (!abuseContacts.error.isEmpty()) {
        window.workbench().ShowStatus(abuseContacts.error);
    }
    // Likewise relay trust: off, and the status line says why.
    if (!trust.error.isEmpty()) {
        window.workbench().ShowStatus(trust.error);
    }
    // And the whois section: the default allowances apply.
    if (!whois.error.isEmpty()) {
        window.workbench().ShowStatus(whois.error);
    }
    window.show();
    return QApplication::exec();
}
