// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/FakeResolver.h"
#include "tests/support/MailTestEnvironment.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RegistryServers.h"
#include "tests/support/SmtpSink.h"
#include "workbench/Workbench.h"

#include <QTemporaryDir>

#include <optional>

/// A message of the tests: `header` (LF line ends), "MIME-Version: 1.0", then
/// `contentAndBody` (more header lines, the empty line, the body).
QByteArray mailMessage(const QByteArray& header, const QByteArray& contentAndBody);

/// The header block of a message as the boxes hold it: every line with CR LF,
/// and the empty line that ends the block.
QString headerBlockOf(const QByteArray& message);

/// A workbench whose mail layer uses a Maildir and an SMTP sink of its own (the
/// sink refuses refused@b.example and gone@c.example), with test whois servers
/// and a resolver that gives 192.0.2.7 the name mx.a.example. Each whois lookup
/// takes 200 ms.
struct MailBench
{
    MailTestEnvironment environment;
    SmtpSink sink{{QStringLiteral("refused@b.example"), QStringLiteral("gone@c.example")}};
    QTemporaryDir programDirectory;
    FakeResolver resolver;
    RecordingHost host;
    RegistryServers registries;
    Workbench workbench;
    /// Written as [tls] ca_file by `configure` when not empty.
    QString caFile;

    /// How a batch run ended, and its progress lines.
    struct Batch
    {
        Workbench::BatchEnd end = Workbench::BatchEnd::Stopped;
        QString reason;
        QStringList lines;
    };

    MailBench();

    QString maildir() const;
    QString folderDirectory(const QString& folder) const;
    /// The names of the folder's message files, sorted.
    QStringList messageFiles(const QString& folder) const;

    /// Writes the settings file: the Maildir (or `storeUrl`) with its source
    /// folder, the sink (or `transportUrl`), and any further [store] lines.
    void configure(const QString& folder, const QString& storeUrl = {}, const QString& transportUrl = {},
                   const QString& moreStoreLines = {});
    void deliver(const QString& folder, const QString& name, const QByteArray& bytes);

    const WorkbenchState& state() const { return workbench.state(); }

    /// The mailbox group's Start to its end; whether a message was loaded.
    std::optional<bool> startFromMailbox();
    std::optional<bool> reportSpammer();
    /// The manual Start and the whole trace.
    bool runTrace();
    /// Ticks the batch box and runs the mailbox group's Start until the batch ends.
    std::optional<Batch> runBatch();
};
