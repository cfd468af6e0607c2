#pragma once

#include "output.h"

#include <QCommandLineParser>

namespace zt::cli {

// One subcommand's work: reads its options from the parser, tells the report, returns the exit
// status. The installation directory is set before it runs.
using CommandHandler = int (*)(const QCommandLineParser &options, Report &report);

// Server setup (page 1 and its server box).
int runServers(const QCommandLineParser &options, Report &report);
int runCheck(const QCommandLineParser &options, Report &report);
int runLogin(const QCommandLineParser &options, Report &report);

// Account sets (page 2).
int runCreate(const QCommandLineParser &options, Report &report);
int runList(const QCommandLineParser &options, Report &report);
int runTakeOver(const QCommandLineParser &options, Report &report);
int runDelete(const QCommandLineParser &options, Report &report);
int runRename(const QCommandLineParser &options, Report &report); // setchangecommands.cpp
int runSetPassword(const QCommandLineParser &options, Report &report);
int runSample(const QCommandLineParser &options, Report &report);
int runBackup(const QCommandLineParser &options, Report &report);
int runRestore(const QCommandLineParser &options, Report &report);
int runBackupPlan(const QCommandLineParser &options, Report &report);
int runCopy(const QCommandLineParser &options, Report &report);

// Recovery after interrupted or failed steps.
int runDoctor(const QCommandLineParser &options, Report &report);

} // namespace zt::cli
