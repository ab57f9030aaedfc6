// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report/LearnMailHosts.h"

#include "common/SettingsFile.h"
#include "header/ReceivedChain.h"
#include "mailbox/FolderName.h"
#include "mailbox/MailPasswords.h"
#include "mailbox/MailSettings.h"
#include "mailbox/MailStore.h"
#include "trust/MailHostLearning.h"
#include "trust/PublicSuffix.h"
#include "trust/TrustSettings.h"

#include <QFile>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

enum ExitCode
{
    Success = 0,
    BadSettings = 2,
    NothingLearnt = 3,
};

int fail(int code, const QString& message)
{
    std::fprintf(stderr, "zelkor-report: %s\n", qUtf8Printable(message));
    return code;
}

void note(const QString& message)
{
    std::fprintf(stderr, "zelkor-report: %s\n", qUtf8Printable(message));
}

// The [trust] mailhosts= value the file holds now (the one readers take).
std::optional<QString> writtenMailHosts(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    std::optional<QString> value;
    for (const SettingsEntry& entry : readSettingsText(file.readAll(), path).entries) {
        if (entry.section == u"trust" && entry.key == u"mailhosts") {
            value = entry.value;
        }
    }
    return value;
}

} // namespace

int learnMailHosts(const QString& folder, bool write)
{
    const QString path = MailSettings::defaultPath();
    const MailResult<MailSettings> settings = MailSettings::load(path);
    if (!settings.ok()) {
        return fail(BadSettings, settings.error().description);
    }
    const QString source = folder.isEmpty() ? u"INBOX"_s : folder;
    const QString shown = foldername::shownName(settings.value().folderRules(), source);
    MailStore store(settings.value(), lookupMailPassword(MailRole::Store, settings.value()));
    const MailResult<QStringList> headers = store.newestHeaders(source, MailHostLearningMessages);
    if (!headers.ok()) {
        return fail(NothingLearnt, headers.error().description);
    }
    QList<QList<ReceivedHop>> chains;
    for (const QString& header : headers.value()) {
        chains.append(ParseReceivedChain(header));
    }
    const MailHostProposal proposal = proposeMailHosts(chains, registeredDomain);
    const qsizetype count = headers.value().size();
    const QString read = u"%1 on %2: %3 newest %4 read, %5 through a public address"_s.arg(
        shown, store.location(), QString::number(count), count == 1 ? u"message"_s : u"messages"_s,
        QString::number(proposal.messages));
    if (proposal.entries.isEmpty()) {
        return fail(NothingLearnt, proposal.messages < 2
                                       ? u"nothing to propose: %1; learning needs 2"_s.arg(read)
                                       : u"nothing to propose: %1, and no host recurs at the top of %2 of them"_s.arg(
                                             read, QString::number(proposal.minimum)));
    }
    note(read);
    const QByteArray text = renderMailHostProposal(proposal).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    std::fflush(stdout);
    if (!write) {
        return Success;
    }

    const std::optional<QString> before = writtenMailHosts(path);
    QString error;
    if (!writeSettingsValue(path, u"trust"_s, u"mailhosts"_s, proposal.mailHostsValue(), &error)) {
        return fail(BadSettings, error);
    }
    note(u"wrote mailhosts=%1 into [trust] of %2%3"_s.arg(proposal.mailHostsValue(), path,
                                                          before ? u" (it was: %1)"_s.arg(*before) : QString()));
    if (!readTrustSettings(path).options.enabled) {
        note(u"relay trust uses them with [trust] enabled=true or --trust"_s);
    }
    return Success;
}
