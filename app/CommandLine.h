#pragma once

#include <QStringList>

// The command-line mode: the window's download, rules and deletion without a
// window, for cron and systemd timers (see --help). It needs no display.
namespace CommandLine {

enum Exit { Done = 0, NoSession = 1, RulesUnusable = 2, BadCommandLine = 3 };

// Whether the arguments ask for the command line rather than the window:
// any "--" option, or -l, -h, -v.
bool wanted(int argc, char **argv);
// Runs it under a QCoreApplication; returns the exit status.
int run(const QStringList &arguments);

} // namespace CommandLine
