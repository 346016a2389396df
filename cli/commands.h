#pragma once

#include <QStringList>

// Exit codes of every command.
enum CliExit { ExitDone = 0, ExitNothing = 1, ExitUsage = 2, ExitFailure = 3 };

// Each command takes its own arguments (after the command word) and returns an exit code.
// Output goes to stdout, messages to stderr.
int cmdDescribe(const QStringList &args);
int cmdList(const QStringList &args);
int cmdSaveDescription(const QStringList &args);
int cmdPack(const QStringList &args);
int cmdExtract(const QStringList &args);
int cmdTag(const QStringList &args);
int cmdCatalog(const QStringList &args);
int cmdSearch(const QStringList &args);

// Takes "--names-codepage CP" (or "--names-codepage=CP") out of `args` into `page`; false
// with a message for a missing or unknown code page.
namespace dostext {
enum class CodePage;
}
bool takeNamesCodePage(QStringList &args, dostext::CodePage &page);

// Loads the engine beside the executable; prints the reason and returns false when it cannot.
bool cliLoadEngine();
// Writes a line to stderr.
void cliError(const QString &text);
