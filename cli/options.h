// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

// The one way every command reads its options: "--opt value" and "--opt=value" alike, "--"
// ends the options, -h/--help prints the command's usage and its options, and an unknown
// option or a missing value is a usage error that names the option.
struct CliSyntax
{
    QString command;  // "pack", "tag set"
    QString operands; // "ARCHIVE FILE..."
    QList<QCommandLineOption> options;
};

// Parses `args` (after the command words) into `parser`. Returns -1 when the command goes on,
// else the exit code to end with: ExitDone after --help, ExitUsage after the reason was printed.
int cliParse(QCommandLineParser &parser, const CliSyntax &syntax, const QStringList &args);

// Prints "COMMAND: PROBLEM" and the command's usage line; returns ExitUsage.
int cliUsageError(const CliSyntax &syntax, const QString &problem);

// An option that takes a value named `valueName`.
QCommandLineOption cliOption(const QString &name, const QString &help,
                             const QString &valueName = QString());
