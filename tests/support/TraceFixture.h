// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/FakeResolver.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RegistryServers.h"
#include "workbench/Workbench.h"

#include <QTemporaryDir>

/// A workbench for whole whois traces: every registry's whois host is mapped to
/// a test server of its own on loopback, the reverse lookup goes to a
/// FakeResolver, and donotsend.txt lives in a temporary program directory.
class TraceFixture final : public QObject
{
    Q_OBJECT

public:
    /// `window` is how long each lookup collects its answer.
    explicit TraceFixture(std::chrono::milliseconds window);

    TestWhoisServer& server(RegistryId registry) { return m_registries.server(registry); }
    const WhoisServerMap& serverMap() const { return m_registries.serverMap(); }
    Workbench& workbench() { return m_workbench; }
    const WorkbenchState& state() const { return m_workbench.state(); }
    /// The abuse list as "[ ] ADDRESS" and "[x] ADDRESS" (ticked) rows.
    QStringList abuseRows() const;
    bool writeDoNotSend(const QByteArray& content) const;
    /// The statuses in order, each "Receiving N bytes REG response" written as
    /// "Receiving REG" and back-to-back repeats of it merged: how loopback TCP
    /// cuts an answer into pieces depends on timing.
    QStringList statusSequence() const;

    /// Puts `header` into txtIn, presses Start and waits for the trace to end.
    /// Returns false when no trace started or it has not ended within `timeout`.
    bool runTrace(const QString& header, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    FakeResolver resolver;
    RecordingHost host;
    /// Every text the status line showed, in order.
    QStringList statuses;
    /// Every answer the trace evaluated, in order.
    QStringList answers;
    /// "REGISTRY query" for every query line any server received, in order.
    const QStringList& asked = m_registries.asked;

private:
    QTemporaryDir m_programDirectory;
    RegistryServers m_registries;
    Workbench m_workbench;
};
