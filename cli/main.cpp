#include "cli/commands.h"
#include "common/version.h"
#include "zipengine/zipengine.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

const char *const Usage = R"(Usage: quoril-cli COMMAND [OPTIONS] ARGUMENTS

Commands:
  describe [--mode MODE] [--custom-list FILE] [--name] ARCHIVE
      Print the description that the main window shows for ARCHIVE, byte for byte.
      MODE is auto (default), file_id, readme, filename, all-custom or custom:NAME.
      The custom list is read from FILE (one name per line), by default from
      quoril2k.ext in the current folder when it exists.
      --name prints only the caption the window would show (the name found, or the
      name shown when nothing is found).
  list ARCHIVE
      Print one line per member: size, date, time and name, in archive order.
  save-description [--level N] ARCHIVE NAME
      Read a description from standard input and store it in ARCHIVE as member NAME
      (line ends become CR LF).
  pack [--level N] [--junk-paths] [--no-recurse] [--update | --freshen] [--move]
       [--delete] [--latest-time] [--hidden] ARCHIVE FILE...
      Add FILEs (folders are walked) to ARCHIVE, or with --delete remove the members
      matching the patterns FILE... .
  extract [--freshen | --update | --overwrite] [--paths] [--case-sensitive]
          ARCHIVE DIR [NAME...]
      Extract the named members (all when none is named) into DIR.
  tag show FILE
  tag set FILE [--title T] [--artist A] [--album B] [--year Y] [--comment C] [--genre G]
      Show or change the ID3v1 tag of an MP3 file.

Options:
  -h, --help
      Print this help and end.
  --version
      Print the program's name and version and end.

Exit codes: 0 done; 1 nothing found (describe) or members skipped (extract);
2 usage error; 3 failure, a file left out by pack included.
)";

} // namespace

void cliError(const QString &text)
{
    QTextStream(stderr) << "quoril-cli: " << text << '\n';
}

bool cliLoadEngine()
{
    const QString message = ZipEngine::load();
    if (!message.isEmpty()) {
        cliError(message);
        return false;
    }
    return true;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        std::fputs(Usage, stderr);
        return ExitUsage;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        std::fputs(Usage, stdout);
        return ExitDone;
    }
    if (command == QLatin1String("--version")) {
        std::fputs("quoril-cli " QUORIL_VERSION "\n", stdout);
        return ExitDone;
    }
    if (command == QLatin1String("describe"))
        return cmdDescribe(args);
    if (command == QLatin1String("list"))
        return cmdList(args);
    if (command == QLatin1String("save-description"))
        return cmdSaveDescription(args);
    if (command == QLatin1String("pack"))
        return cmdPack(args);
    if (command == QLatin1String("extract"))
        return cmdExtract(args);
    if (command == QLatin1String("tag"))
        return cmdTag(args);
    cliError(QStringLiteral("unknown command \"%1\"; see quoril-cli --help").arg(command));
    return ExitUsage;
}
