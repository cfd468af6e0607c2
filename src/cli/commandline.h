#pragma once

#include "commands.h"

#include <QCommandLineOption>
#include <QList>
#include <QStringList>

namespace zt::cli {

// A subcommand: its name, what it does, its own options (besides --dir, --json and --help), the
// options it cannot do without, and its handler.
struct CommandSpec
{
    QString name;
    QString description;
    QList<QCommandLineOption> options;
    QStringList required;
    CommandHandler handler = nullptr;
};

// Every subcommand, in the order the overall help lists them.
const QList<CommandSpec> &commandSpecs();

// Runs the program on its arguments (argv[0] first): picks the subcommand, reads its options,
// points the installation directory at --dir (else the executable's folder) and runs it.
int runCommandLine(const QStringList &arguments);

} // namespace zt::cli
