// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "common/pathbytes.h"
#include "common/timezone.h"
#include "common/version.h"
#include "zipengine/zipengine.h"

#include <QTextStream>

#include <cstdio>

namespace {

const char *const Usage = R"(Usage: quoril-cli COMMAND [OPTIONS] ARGUMENTS
Every command lists its own options with "quoril-cli COMMAND --help". A value follows
its option as the next argument or after an equals sign; "--" ends the options.

Commands:
  describe [--mode MODE] [--custom-list FILE] [--name] [--text | --color | --info]
           [--codepage CP] ARCHIVE
      Print the description that the main window shows for ARCHIVE, byte for byte.
      MODE is auto (default), file_id, readme, filename, all-custom or custom:NAME.
      The custom list is read from FILE (one name per line), by default from
      quoril2k.ext in the current folder when it exists.
      --name prints only the caption the window would show (the name found, or the
      name shown when nothing is found). --text prints the text as the pane shows it
      (in UTF-8), --color in its colours for a terminal, --info what was found and how
      it is read; --codepage CP reads it in code page CP (cp437, cp850, cp866,
      cp1252, cp1251 or utf8) instead of the one the text suggests.
  render [--width PX] [--mode MODE] [--custom-list FILE] ARCHIVE OUT.png
      Draw the description that describe prints, as the main window shows it (its DOS
      font, pixel for pixel), into the PNG file OUT.png; no display is needed. --width
      makes a thumbnail: the top of the description, at most PX pixels wide and high.
      Exit 1 when the archive has no description.
  list [--names-codepage CP] ARCHIVE
      Print one line per member: size, date, time and name, in archive order. Names
      not flagged UTF-8 are read in code page CP (default cp437).
  save-description [--level N] ARCHIVE NAME
      Read a description from standard input and store it in ARCHIVE as member NAME
      (line ends become CR LF).
  pack [--level N] [--junk-paths] [--no-recurse] [--update | --freshen] [--move]
       [--delete] [--latest-time] [--hidden] ARCHIVE FILE...
      Add FILEs (folders are walked) to ARCHIVE, or with --delete remove the members
      matching the patterns FILE... .
  extract [--freshen | --update | --overwrite] [--paths] [--case-sensitive]
          [--names-codepage CP] ARCHIVE DIR [NAME...]
      Extract the named members (all when none is named) into DIR; names not flagged
      UTF-8 are read (and written) in code page CP (default cp437).
  tag show [--format text|json] FILE
  tag set FILE [--from-id3v2] [--title T] [--artist A] [--album B] [--year Y]
          [--comment C] [--genre G]
      Show the ID3v1 tag of an MP3 file and its ID3v2 tag (read only), or change the
      ID3v1 tag; --from-id3v2 fills it with the ID3v2 tag's values, cut to the fields.
  catalog [--recursive] [--format text|json|csv] [--no-cache] PATH...
      List every archive and MP3 file named or found in the folders named (every level
      with --recursive), sorted by path, with its description or tag. The collection
      index (${XDG_CACHE_HOME:-~/.cache}/quoril/index.sqlite) keeps what was read, so
      unchanged files are not read again; --no-cache neither reads nor writes it.
      json: one object per line; csv: a header and one row per file.
  search [--recursive] [--format text|json] QUERY PATH...
      Print the files under PATHs whose description, tag or file name match QUERY, best
      match first: all words, in any order, without regard to case or accents;
      "two words" is a phrase, word* a prefix. Exit 1 when nothing matched, 2 for a bad
      query.

Options:
  -h, --help
      Print this help and end.
  --version
      Print the program's name and version and end.

Exit codes: 0 done; 1 nothing found (describe, search) or members skipped (extract);
2 usage error or bad query; 3 failure, a file left out by pack included; 130 interrupted.
)";

} // namespace

void cliError(const QString &text)
{
    // Paths in messages are shown as the user reads them.
    QTextStream(stderr) << "quoril-cli: " << pathbytes::display(text) << '\n';
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
    timezone_setup::nameSystemZone();
    // No QCoreApplication: nothing here needs one (no event loop, no plugins), and making one
    // would cost every command 0.4 ms, a sixth of a quick describe.
    // The arguments with their bytes: a file name need not be UTF-8.
    QStringList args = pathbytes::arguments(argc, argv).mid(1);
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
    if (command == QLatin1String("catalog"))
        return cmdCatalog(args);
    if (command == QLatin1String("search"))
        return cmdSearch(args);
    if (command == QLatin1String("render"))
        return cmdRender(args);
    cliError(QStringLiteral("unknown command \"%1\"; see quoril-cli --help").arg(command));
    return ExitUsage;
}
