// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/// Every file of a folder under tests/data, in name order.
QList<QByteArray> readBenchData(const QString& folder);

/// Figures from separate processes and servers run as benchmarks of their own:
/// the whole trace, the window's start-up. `program` is this benchmark's path,
/// which the start-up figures run again as a child.
void registerTraceFigures();
void registerStartupFigures(const char* program);
void registerMailFigures();

/// In a child process: opens the main window (or a bare widget of its size),
/// prints the microseconds to its first paint and the peak resident memory, and
/// returns the exit status.
int runStartupChild(int argc, char* argv[], bool bare);

/// Stops the mail servers the mail figures started; before the application ends.
void releaseMailServers();
