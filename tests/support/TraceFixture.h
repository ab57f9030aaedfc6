// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/FakeResolver.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestWhoisServer.h"
#include "workbench/Workbench.h"

#include <QTemporaryDir>

#include <array>

/// A workbench for whole whois traces: every registry's whois host is mapped to
/// a test server of its own on loopback, the reverse lookup goes to a
/// FakeResolver, and donotsend.txt lives in a temporary program directory.
class TraceFixture final : public QObject
{
    Q_OBJECT

public:
    /// `window` is how long each lookup collects its answer.
    explicit TraceFixture(std::chrono::milliseconds window);

    TestWhoisServer& server(RegistryId registry) { return m_servers.at(registry - 1); }
    const WhoisServerMap& serverMap() const { return m_map; }
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
    /// Returns false when it has not ended within `timeout`.
    bool runTrace(const QString& header, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    FakeResolver resolver;
    RecordingHost host;
    /// Every text the status line showed, in order.
    QStringList statuses;
    /// Every answer the trace evaluated, in order.
    QStringList answers;
    /// "REGISTRY query" for every query line any server received, in order.
    QStringList asked;

private:
    WhoisServerMap mapServers();

    QTemporaryDir m_programDirectory;
    std::array<TestWhoisServer, 7> m_servers;
    WhoisServerMap m_map;
    Workbench m_workbench;
};
