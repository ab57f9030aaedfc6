// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor-report: the workbench without a window, for scripts, mail-client pipe
// commands and cron jobs.
#include "app/report/LearnMailHosts.h"
#include "app/report/PasswordCommand.h"
#include "app/report/ReportHistory.h"
#include "app/report/ReportOutput.h"
#include "app/report/ReportRun.h"
#include "common/SettingsFile.h"
#include "journal/Journal.h"
#include "mailbox/MailSettings.h"
#include "rdap/RdapSettings.h"
#include "resolve/CaresResolver.h"
#include "trust/TrustSettings.h"
#include "whois/WhoisSettings.h"
#include "workbench/MessageFile.h"
#include "workbench/Workbench.h"
#include "workbench/WorkbenchState.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

enum ExitCode
{
    Success = 0,
    UnreadableInput = 1,
    BadArguments = 2,
    AnalysisFailed = 3
};

const char* const Description = R"(Analyses one spam message as the Zelkor II workbench does: splits its header into
labelled rows, takes the relay addresses out of the Received lines, reverse-resolves
the first one, traces every relay through the registries' whois servers (port 43,
one second per lookup) and harvests the abuse addresses. Prints the result.

FILE is a message (header, empty line, body) or, with --header-only, a bare header;
"-" reads standard input. Text is read as UTF-8; bytes that are not valid UTF-8 are
taken as Latin-1. With --mailbox the message is instead the oldest one of the
mailbox's source folder (the [store] section of the settings file); it stays there.
With --send the complaint goes by e-mail to every proposed abuse address once the
run went through (the [transport] section). Message boxes go to standard error.

With --mailbox --batch every message of the source folder is analysed, reported
and deleted in turn (or moved: [store] trash= and unreported= of the settings
file) until the folder is empty; nothing is printed on standard output, and
--progress gives a line per message on standard error.

Exit status: 0 the run went through (also when the mailbox folder is empty; for
--batch: the folder was emptied); 1 the input could not be read or is empty;
2 bad arguments or environment; 3 the analysis, the mailbox or the sending
stopped on an error (see "status"), or the batch stopped (the reason goes to
standard error).

With relay trust on (--trust, or [trust] enabled=true in the settings file) the
run is about the one hop that handed the message to your provider, the source:
only it is reverse-resolved and traced; the hops written by your provider
([trust] mailhosts=, --mailhost) and private addresses are not, and the hops
older than the source only with [trust] trace_beyond=true, their rows ticked.
A batch with relay trust on needs mail hosts configured. --learn-mailhosts
proposes them from the newest messages of a folder.

Environment:
  ZELKOR_WHOIS_SERVERS  HOSTNAME=ADDRESS:PORT,... connects the lookups of a whois
                        host (for example WHOIS.ARIN.NET=127.0.0.1:4301) to another
                        address and port; host names ignore letter case.
  ZELKOR_DNS_SERVERS    host:port,... sends the reverse lookup's DNS queries to
                        these servers instead of those of /etc/resolv.conf.
  ZELKOR_RDAP_BOOTSTRAP FILE: the RDAP bootstrap file (IANA's ipv4.json) to use,
                        instead of the cached or installed copy.
  ZELKOR_RDAP_BOOTSTRAP6 FILE: the same for IPv6 (IANA's ipv6.json).
  ZELKOR_MAIL_PASSWORD  the mail store's and the transport's password, when no
                        secret store holds one; ZELKOR_SMTP_PASSWORD the
                        transport's, when it differs.
  XDG_CONFIG_HOME       the settings file is $XDG_CONFIG_HOME/zelkor/zelkor.conf
                        (~/.config/zelkor/zelkor.conf when unset).
  XDG_DATA_HOME         the journal of complaints and lookups is
                        $XDG_DATA_HOME/zelkor/journal.sqlite
                        (~/.local/share/zelkor/journal.sqlite when unset).
  donotsend.txt         beside the program: addresses, or pieces of them, that must
                        never be proposed for a complaint.)";

void fail(const QString& message)
{
    std::fprintf(stderr, "zelkor-report: %s\n", qUtf8Printable(message));
}

// Whether both options of an opposite pair were given; the reason is printed.
bool contradictory(const QCommandLineParser& parser, const QCommandLineOption& on, const QCommandLineOption& off)
{
    if (!parser.isSet(on) || !parser.isSet(off)) {
        return false;
    }
    fail(u"--%1 and --%2 contradict each other"_s.arg(on.names().constFirst(), off.names().constFirst()));
    return true;
}

// The [trust] section, overridden by the command line; nothing when the
// section or a mail host is unusable (the reason is printed).
std::optional<TrustOptions> trustOptionsOf(bool trustGiven, bool noTrustGiven, const QStringList& mailHosts)
{
    if (noTrustGiven) {
        return TrustOptions{};
    }
    const TrustSettings settings = readTrustSettings(settingsFilePath());
    if (!settings.error.isEmpty()) {
        fail(settings.error);
        return std::nullopt;
    }
    TrustOptions options = settings.options;
    options.enabled = options.enabled || trustGiven;
    for (const QString& written : mailHosts) {
        QString error;
        const std::optional<MailHosts> hosts = parseMailHosts(written, &error);
        if (!hosts || hosts->isEmpty()) {
            fail(u"--mailhost: "_s + (hosts ? u"no host given"_s : error));
            return std::nullopt;
        }
        options.mailHosts.ranges.append(hosts->ranges);
        options.mailHosts.suffixes.append(hosts->suffixes);
    }
    return options;
}

// --history [--since DATE] [--message FILE] [--json]
int history(const QCommandLineParser& parser, const QCommandLineOption& since, const QCommandLineOption& message,
            bool json)
{
    if (!parser.positionalArguments().isEmpty()) {
        fail(u"--history takes no FILE; --message FILE names the message (see --help)"_s);
        return BadArguments;
    }
    if (parser.isSet(message)) {
        const MessageFile input = ReadMessageFile(parser.value(message), false);
        if (!input.message) {
            fail(input.error);
            return UnreadableInput;
        }
        return printMessageHistory(Journal::defaultPath(), input.message->header, json);
    }
    const QDateTime from = parser.isSet(since) ? parseHistorySince(parser.value(since)) : QDateTime();
    if (parser.isSet(since) && !from.isValid()) {
        fail(u"--since: \"%1\" is neither a date nor a time in ISO 8601 form"_s.arg(parser.value(since)));
        return BadArguments;
    }
    return printHistory(Journal::defaultPath(), from, json);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"zelkor-report"_s);
    QCoreApplication::setApplicationVersion(u"1.2.1"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption jsonOption(u"json"_s, u"Print one JSON object instead of text."_s);
    const QCommandLineOption headerOnlyOption(u"header-only"_s, u"Take the whole input as the header."_s);
    const QCommandLineOption noTraceOption(u"no-trace"_s, u"Stop after the Start command: no whois lookups."_s);
    const QCommandLineOption progressOption(u"progress"_s, u"Print each status-line change to standard error."_s);
    const QCommandLineOption complaintOption(
        u"complaint"_s, u"Print the complaint text (CR LF line ends) instead of the report; with --json, add it as "
                        u"\"complaint\"."_s);
    const QCommandLineOption mailboxOption(
        u"mailbox"_s, u"Analyse the oldest message of the mailbox's source folder instead of FILE."_s);
    const QCommandLineOption sendOption(
        u"send"_s, u"Send the complaint by e-mail when the run went through; nothing is deleted."_s);
    const QCommandLineOption setPasswordOption(
        u"set-password"_s,
        u"Read a password from standard input and keep it in the secret store for the settings file's store or "
        u"transport address."_s,
        u"store|transport"_s);
    const QCommandLineOption batchOption(
        u"batch"_s, u"With --mailbox: report and delete every message of the source folder, one after another, until "
                    u"it is empty or the batch stops."_s);
    const QCommandLineOption againOption(
        u"again"_s, u"With --send: send even when the journal says the message was reported already."_s);
    const QCommandLineOption historyOption(
        u"history"_s, u"Print the complaints the journal holds, newest first; with --message FILE, whether that "
                      u"message was reported."_s);
    const QCommandLineOption sinceOption(
        u"since"_s, u"With --history: only complaints sent on or after DATE (2026-12-01, or a time in ISO 8601)."_s,
        u"DATE"_s);
    const QCommandLineOption messageOption(u"message"_s, u"With --history: the message to look up."_s, u"FILE"_s);
    const QCommandLineOption yesOption(
        u"yes"_s, u"Also process an Inbox: answer OK to the warning that the source folder is the Inbox."_s);
    const QCommandLineOption rdapOption(
        u"rdap"_s, u"Also ask each relay's registry over RDAP for the network's abuse contact ([abuse-contacts] rdap= "
                   u"of the settings file, for this run)."_s);
    const QCommandLineOption noRdapOption(u"no-rdap"_s, u"Do not ask over RDAP, whatever the settings file says."_s);
    const QCommandLineOption designatedOption(
        u"designated"_s, u"Leave unticked only the rows each answer designates for abuse reports ([abuse-contacts] "
                         u"designated= of the settings file, for this run)."_s);
    const QCommandLineOption noDesignatedOption(
        u"no-designated"_s, u"Keep every row as the harvest makes it, whatever the settings file says."_s);
    const QCommandLineOption trustOption(
        u"trust"_s, u"Relay trust for this run ([trust] enabled= of the settings file): reverse-resolve, trace and "
                    u"report only the hop that handed the message to your provider."_s);
    const QCommandLineOption noTrustOption(u"no-trust"_s,
                                           u"Trace every relay, whatever the settings file says about relay trust."_s);
    const QCommandLineOption mailHostOption(
        u"mailhost"_s,
        u"Also count HOST as your provider's for this run: an address range (CIDR), an address or a host-name "
        u"suffix. May be given several times."_s,
        u"HOST"_s);
    const QCommandLineOption learnOption(
        u"learn-mailhosts"_s,
        u"Propose [trust] mailhosts= from the newest 100 messages of the store's folder FOLDER (the Inbox when none "
        u"is given), read without marking them read: print the mailhosts= line and the evidence for each entry."_s);
    const QCommandLineOption writeOption(
        u"write"_s, u"With --learn-mailhosts: also write the proposed mailhosts= into [trust] of the settings file, "
                    u"keeping every other line."_s);
    parser.addOptions({jsonOption,     headerOnlyOption, noTraceOption,      progressOption,    complaintOption,
                       mailboxOption,  sendOption,       batchOption,        yesOption,         rdapOption,
                       noRdapOption,   designatedOption, noDesignatedOption, trustOption,       noTrustOption,
                       mailHostOption, learnOption,      writeOption,        setPasswordOption, againOption,
                       historyOption,  sinceOption,      messageOption});
    parser.addPositionalArgument(
        u"FILE"_s,
        u"The message to analyse, or - for standard input; with --learn-mailhosts, the FOLDER to learn from."_s,
        u"FILE|FOLDER"_s);

    if (!parser.parse(QCoreApplication::arguments())) {
        fail(parser.errorText());
        return BadArguments;
    }
    if (parser.isSet(u"help"_s)) {
        parser.showHelp(Success);
    }
    if (parser.isSet(u"version"_s)) {
        parser.showVersion();
    }
    if (parser.isSet(setPasswordOption)) {
        return setMailPassword(parser.value(setPasswordOption));
    }
    if (parser.isSet(writeOption) && !parser.isSet(learnOption)) {
        fail(u"--write goes with --learn-mailhosts (see --help)"_s);
        return BadArguments;
    }
    if (parser.isSet(learnOption)) {
        if (parser.positionalArguments().size() > 1) {
            fail(u"--learn-mailhosts takes one FOLDER at most (see --help)"_s);
            return BadArguments;
        }
        return learnMailHosts(parser.positionalArguments().value(0), parser.isSet(writeOption));
    }
    if (parser.isSet(historyOption)) {
        return history(parser, sinceOption, messageOption, parser.isSet(jsonOption));
    }
    if (parser.isSet(sinceOption) || parser.isSet(messageOption)) {
        fail(u"--since and --message go with --history (see --help)"_s);
        return BadArguments;
    }
    if (parser.isSet(againOption) && !parser.isSet(sendOption)) {
        fail(u"--again goes with --send (see --help)"_s);
        return BadArguments;
    }
    const bool fromMailbox = parser.isSet(mailboxOption);
    const QStringList files = parser.positionalArguments();
    if (fromMailbox && !files.isEmpty()) {
        fail(u"--mailbox takes no FILE (see --help)"_s);
        return BadArguments;
    }
    if (parser.isSet(batchOption)) {
        const bool alone = !parser.isSet(sendOption) && !parser.isSet(jsonOption) && !parser.isSet(complaintOption) &&
                           !parser.isSet(noTraceOption) && !parser.isSet(headerOnlyOption);
        if (!fromMailbox || !alone) {
            fail(u"--batch goes with --mailbox and takes only --yes and --progress besides (see --help)"_s);
            return BadArguments;
        }
    }
    if (!fromMailbox && files.size() != 1) {
        fail(files.isEmpty() ? u"no FILE given (see --help)"_s : u"one FILE at a time (see --help)"_s);
        return BadArguments;
    }

    QString whoisError;
    const std::optional<WhoisServerMap> whoisServers = WhoisServerMap::fromEnvironment(&whoisError);
    if (!whoisServers) {
        fail(u"ZELKOR_WHOIS_SERVERS: "_s + whoisError);
        return BadArguments;
    }

    // A mailbox run with unusable settings does not start: no mail operation
    // is made, so nothing is loaded, sent or moved.
    if (fromMailbox) {
        if (const MailResult<MailSettings> mail = MailSettings::load(MailSettings::defaultPath()); !mail.ok()) {
            fail(mail.error().description);
            return BadArguments;
        }
    }

    ReportRequest request;
    if (!fromMailbox) {
        const MessageFile input = ReadMessageFile(files.first(), parser.isSet(headerOnlyOption));
        if (!input.message) {
            fail(input.error);
            return UnreadableInput;
        }
        request.message = *input.message;
    }
    request.mailbox = fromMailbox;
    request.send = parser.isSet(sendOption);
    request.batch = parser.isSet(batchOption);
    request.yes = parser.isSet(yesOption);
    request.again = parser.isSet(againOption);
    request.journalPath = Journal::defaultPath();
    const WhoisSettings whois = readWhoisSettings(settingsFilePath());
    if (!whois.error.isEmpty()) {
        fail(whois.error);
        return BadArguments;
    }
    request.dailyLimits = whois.dailyLimits;
    request.cacheHours = whois.cacheHours;
    if (contradictory(parser, rdapOption, noRdapOption) ||
        contradictory(parser, designatedOption, noDesignatedOption) ||
        contradictory(parser, trustOption, noTrustOption)) {
        return BadArguments;
    }
    const bool rdapGiven = parser.isSet(rdapOption) || parser.isSet(noRdapOption);
    const bool designatedGiven = parser.isSet(designatedOption) || parser.isSet(noDesignatedOption);
    // The contact database's zone comes from the settings file alone.
    const AbuseContactSettings settings = readAbuseContactSettings(settingsFilePath());
    if (!settings.error.isEmpty()) {
        fail(settings.error);
        return BadArguments;
    }
    request.rdap = settings.rdap;
    request.designated = settings.designated;
    request.contactZone = settings.contactZone;
    request.rdap = rdapGiven ? parser.isSet(rdapOption) : request.rdap;
    request.designated = designatedGiven ? parser.isSet(designatedOption) : request.designated;
    if (const std::optional<TrustOptions> trust =
            trustOptionsOf(parser.isSet(trustOption), parser.isSet(noTrustOption), parser.values(mailHostOption))) {
        request.trust = *trust;
    } else {
        return BadArguments;
    }
    request.trace = !parser.isSet(noTraceOption);
    request.progress = parser.isSet(progressOption);
    request.programDirectory = QCoreApplication::applicationDirPath();
    request.dnsServers = CaresResolver::serversFromEnvironment();
    request.whoisServers = *whoisServers;

    if (request.batch) {
        const BatchReport batch = runBatch(request);
        if (!batch.finished) {
            fail(u"the batch stopped: "_s + batch.reason);
            return AnalysisFailed;
        }
        return Success;
    }
    const WorkbenchState state = runReport(request);
    const bool complaint = parser.isSet(complaintOption);
    const bool contactDb = !request.contactZone.isEmpty();
    const QByteArray output = parser.isSet(jsonOption) ? renderJson(state, complaint, request.rdap, contactDb)
                              : complaint              ? renderComplaint(state)
                                                       : renderText(state, request.rdap, request.designated, contactDb);
    std::fwrite(output.constData(), 1, static_cast<std::size_t>(output.size()), stdout);
    std::fflush(stdout);
    if (state.txtWhoStatus.startsWith(NotSentAgain)) {
        fail(state.txtWhoStatus + u" (--again sends it all the same)"_s);
        return AnalysisFailed;
    }
    return state.txtWhoStatus.startsWith(u"Something bad happened ") ? AnalysisFailed : Success;
}
