#include "cli/commands.h"
#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "id3/id3tag.h"

#include <QTextStream>

#include <algorithm>
#include <array>
#include <optional>

namespace {

const QString UsageText =
    QStringLiteral("usage: quoril-cli tag show FILE | tag set FILE [--title T] [--artist A] "
                   "[--album B] [--year Y] [--comment C] [--genre G]");

int usage(const QString &problem)
{
    cliError(problem);
    cliError(UsageText);
    return ExitUsage;
}

// The option names of "tag set", in the order the values are assigned to the tag.
enum Option { Title, Artist, Album, Year, Genre, Comment, OptionCount };
const std::array<QLatin1String, OptionCount> OptionNames{
    QLatin1String("--title"), QLatin1String("--artist"), QLatin1String("--album"),
    QLatin1String("--year"),  QLatin1String("--genre"),  QLatin1String("--comment")};

// Reads the tag of `path` into `tag`; a missing or unreadable file is reported.
bool readTag(TID3Tag &tag, const QString &path)
{
    if (!pathbytes::isFile(path)) {
        cliError(FileError::cannotOpen(path).message());
        return false;
    }
    try {
        tag.setFileName(path);
    } catch (const FileError &error) {
        cliError(error.message());
        return false;
    }
    return true;
}

int show(const QString &path)
{
    TID3Tag tag;
    if (!readTag(tag, path))
        return ExitFailure;
    QTextStream out(stdout);
    out << "Title: " << tag.Title() << '\n'
        << "Artist: " << tag.Artist() << '\n'
        << "Album: " << tag.Album() << '\n'
        << "Year: " << tag.Year() << '\n'
        << "Comment: " << tag.Comment() << '\n'
        << "Genre: " << tag.Genre() << '\n';
    if (tag.Track() != 0)
        out << "Track: " << tag.Track() << '\n';
    // The lines above are the pane's blank record then, not anything the file holds.
    if (!tag.HasRecord())
        out << "(the file has no ID3v1 tag)\n";
    return ExitDone;
}

int set(const QString &path, const QStringList &options)
{
    std::array<std::optional<QString>, OptionCount> values;
    for (qsizetype i = 0; i < options.size(); ++i) {
        QString name = options.at(i);
        std::optional<QString> value;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        const auto found = std::find(OptionNames.begin(), OptionNames.end(), name);
        if (found == OptionNames.end())
            return usage(QStringLiteral("unknown option \"%1\"").arg(name));
        if (!value) {
            if (i + 1 >= options.size())
                return usage(QStringLiteral("option %1 needs a value").arg(name));
            value = options.at(++i);
        }
        values[std::size_t(found - OptionNames.begin())] = value;
    }

    TID3Tag tag;
    if (!readTag(tag, path))
        return ExitFailure;
    if (values[Title])
        tag.setTitle(*values[Title]);
    if (values[Artist])
        tag.setArtist(*values[Artist]);
    if (values[Album])
        tag.setAlbum(*values[Album]);
    if (values[Year])
        tag.setYear(*values[Year]);
    if (values[Genre]) {
        tag.setGenre(*values[Genre]);
        if (GenreIndex(*values[Genre]) < 0)
            cliError(QStringLiteral("genre \"%1\" is not in the table; stored as Unknown")
                         .arg(*values[Genre]));
    }
    if (values[Comment])
        tag.setComment(*values[Comment]);
    try {
        tag.WriteTag(); // writes nothing when no value differs
    } catch (const FileError &error) {
        cliError(error.message());
        return ExitFailure;
    }
    return ExitDone;
}

} // namespace

int cmdTag(const QStringList &args)
{
    if (args.size() < 2)
        return usage(QStringLiteral("tag needs a subcommand and a file"));
    const QString &sub = args.at(0);
    if (sub == QLatin1String("show")) {
        if (args.size() != 2)
            return usage(QStringLiteral("tag show takes exactly one file"));
        return show(args.at(1));
    }
    if (sub == QLatin1String("set"))
        return set(args.at(1), args.mid(2));
    return usage(QStringLiteral("unknown tag subcommand \"%1\"").arg(sub));
}
