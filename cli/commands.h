// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

struct LookupPlan;
struct LookupResult;

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
int cmdRender(const QStringList &args);

// The lookup that describe and render share, with the window's mode MODE ("auto" when empty)
// and the custom list FILE (quoril2k.ext in the current folder when empty, if it exists).
// ExitDone with `result` (and `plan` when given) filled, else the exit code after the reason
// was printed. Throws on a file error.
class QCommandLineOption;
// The --mode and --custom-list options of describe and render.
QCommandLineOption cliModeOption();
QCommandLineOption cliCustomListOption();
int cliLookup(const QString &archive, const QString &mode, const QString &customList,
              LookupResult &result, LookupPlan *plan = nullptr);

// The --names-codepage option of list and extract, and its value put into `page` (left as it
// is when the option is not given); false after a message for an unknown code page.
namespace dostext {
enum class CodePage;
}
class QCommandLineOption;
class QCommandLineParser;
struct CliSyntax;
QCommandLineOption namesCodePageOption();
bool namesCodePage(const QCommandLineParser &parser, const CliSyntax &syntax,
                   dostext::CodePage &page);

// Loads the engine beside the executable; prints the reason and returns false when it cannot.
bool cliLoadEngine();
// Text for a terminal: line breaks and other control characters of names escaped ("\n", "\t",
// "\r", else "\xHH" or "\uHHHH"), so that every name keeps to one line and cannot colour it.
QString escapedControls(const QString &line);
// Writes a line to stderr.
void cliError(const QString &text);
