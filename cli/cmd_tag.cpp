// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "cli/options.h"
#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "id3/id3tag.h"
#include "id3/id3v2.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <optional>

namespace {

const QString UsageText =
    QStringLiteral("usage: quoril-cli tag show [--format text|json] FILE | tag set FILE "
                   "[--from-id3v2] [--title T] [--artist A] [--album B] [--year Y] [--comment C] "
                   "[--genre G]");

int usage(const QString &problem)
{
    cliError(problem);
    cliError(UsageText);
    return ExitUsage;
}

// The option names of "tag set", in the order the values are assigned to the tag.
enum Option { Title, Artist, Album, Year, Genre, Comment, OptionCount };
const std::array<QLatin1String, OptionCount> OptionNames{
    QLatin1String("title"), QLatin1String("artist"), QLatin1String("album"),
    QLatin1String("year"),  QLatin1String("genre"),  QLatin1String("comment")};

CliSyntax setSyntax()
{
    QList<QCommandLineOption> options{cliOption(
        QStringLiteral("from-id3v2"), QStringLiteral("Fill the tag with the ID3v2 tag's values."))};
    for (const QLatin1String name : OptionNames)
        options << cliOption(name, QStringLiteral("Set the %1.").arg(name),
                             name.toString().toUpper());
    return {QStringLiteral("tag set"), QStringLiteral("FILE"), options};
}

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

// The ID3v2 tag of `path`; a file that cannot be read is reported.
bool readId3v2(std::optional<id3v2::Fields> &fields, const QString &path)
{
    try {
        fields = id3v2::read(path);
    } catch (const FileError &error) {
        cliError(error.message());
        return false;
    }
    return true;
}

QJsonObject json(const TID3Tag &tag, const std::optional<id3v2::Fields> &v2)
{
    QJsonObject v1{{"title", tag.Title()}, {"artist", tag.Artist()},   {"album", tag.Album()},
                   {"year", tag.Year()},   {"comment", tag.Comment()}, {"genre", tag.Genre()},
                   {"track", tag.Track()}};
    QJsonObject out{{"id3v1", tag.HasTag() ? QJsonValue(v1) : QJsonValue()}, {"id3v2", {}}};
    if (v2)
        out[QLatin1String("id3v2")] =
            QJsonObject{{"version", v2->version}, {"title", v2->title},    {"artist", v2->artist},
                        {"album", v2->album},     {"year", v2->year},      {"genre", v2->genre},
                        {"track", v2->track},     {"comment", v2->comment}};
    return out;
}

int show(const QString &path, bool asJson)
{
    TID3Tag tag;
    std::optional<id3v2::Fields> v2;
    if (!readTag(tag, path) || !readId3v2(v2, path))
        return ExitFailure;
    QTextStream out(stdout);
    if (asJson) {
        out << QJsonDocument(json(tag, v2)).toJson(QJsonDocument::Compact) << '\n';
        return ExitDone;
    }
    out << "Title: " << tag.Title() << '\n'
        << "Artist: " << tag.Artist() << '\n'
        << "Album: " << tag.Album() << '\n'
        << "Year: " << tag.Year() << '\n'
        << "Comment: " << tag.Comment() << '\n'
        << "Genre: " << tag.Genre() << '\n';
    if (tag.Track() != 0)
        out << "Track: " << tag.Track() << '\n';
    // The lines above are the pane's blank record then, not anything the file holds.
    if (!tag.HasTag())
        out << "(the file has no ID3v1 tag)\n";
    if (v2) {
        out << "ID3v2 Version: " << v2->version << '\n'
            << "ID3v2 Title: " << v2->title << '\n'
            << "ID3v2 Artist: " << v2->artist << '\n'
            << "ID3v2 Album: " << v2->album << '\n'
            << "ID3v2 Year: " << v2->year << '\n'
            << "ID3v2 Genre: " << v2->genre << '\n'
            << "ID3v2 Track: " << v2->track << '\n'
            << "ID3v2 Comment: " << v2->comment << '\n';
    }
    return ExitDone;
}

// Puts the ID3v2 tag's values into the ID3v1 fields it fills; says which are cut.
bool copyFromId3v2(TID3Tag &tag, const QString &path)
{
    std::optional<id3v2::Fields> v2;
    if (!readId3v2(v2, path))
        return false;
    if (!v2) {
        cliError(QStringLiteral("%1 has no ID3v2 tag").arg(path));
        return false;
    }
    const id3v2::Id3v1Texts v1 = id3v2::forId3v1(*v2);
    const int commentWidth = v1.track != 0 ? TID3Tag::TrackCommentWidth : TID3Tag::TextWidth;
    const auto put = [](const QString &value, int width, const char *label, auto setter) {
        if (value.isEmpty())
            return;
        setter(value);
        const FieldFit fit = fitField(value, width);
        if (fit.cut)
            cliError(
                QStringLiteral("%1 cut to %2 characters").arg(QLatin1String(label)).arg(width));
        if (fit.outsideLatin1)
            cliError(QStringLiteral("%1: characters outside Latin-1 stored as \"?\"")
                         .arg(QLatin1String(label)));
    };
    put(v1.title, TID3Tag::TextWidth, "title", [&](const QString &v) { tag.setTitle(v); });
    put(v1.artist, TID3Tag::TextWidth, "artist", [&](const QString &v) { tag.setArtist(v); });
    put(v1.album, TID3Tag::TextWidth, "album", [&](const QString &v) { tag.setAlbum(v); });
    put(v1.year, TID3Tag::YearWidth, "year", [&](const QString &v) { tag.setYear(v); });
    if (v1.track != 0)
        tag.setTrack(v1.track);
    put(v1.comment, commentWidth, "comment", [&](const QString &v) { tag.setComment(v); });
    if (!v1.genre.isEmpty()) {
        tag.setGenre(v1.genre);
        if (GenreIndex(v1.genre) < 0)
            cliError(QStringLiteral("genre \"%1\" is not in the table; stored as Unknown")
                         .arg(v1.genre));
    }
    return true;
}

int set(const QString &path, const QCommandLineParser &parser)
{
    std::array<std::optional<QString>, OptionCount> values;
    for (std::size_t i = 0; i < OptionCount; ++i)
        if (parser.isSet(OptionNames[i]))
            values[i] = parser.value(OptionNames[i]);
    const bool fromId3v2 = parser.isSet(QStringLiteral("from-id3v2"));
    TID3Tag tag;
    if (!readTag(tag, path))
        return ExitFailure;
    // Values given on the command line win over the copied ones.
    if (fromId3v2 && !copyFromId3v2(tag, path))
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
    const QString sub = args.value(0);
    if (sub == QLatin1String("show")) {
        const CliSyntax syntax{
            QStringLiteral("tag show"),
            QStringLiteral("FILE"),
            {cliOption(QStringLiteral("format"), QStringLiteral("text (default) or json."),
                       QStringLiteral("text|json"))}};
        QCommandLineParser parser;
        if (const int end = cliParse(parser, syntax, args.mid(1)); end >= 0)
            return end;
        const QString format = parser.value(QStringLiteral("format"));
        if (!format.isEmpty() && format != QLatin1String("json") && format != QLatin1String("text"))
            return cliUsageError(syntax, QStringLiteral("unknown format \"%1\"").arg(format));
        if (parser.positionalArguments().size() != 1)
            return cliUsageError(syntax, QStringLiteral("tag show takes exactly one file"));
        return show(parser.positionalArguments().constFirst(), format == QLatin1String("json"));
    }
    if (sub == QLatin1String("set")) {
        const CliSyntax syntax = setSyntax();
        QCommandLineParser parser;
        if (const int end = cliParse(parser, syntax, args.mid(1)); end >= 0)
            return end;
        if (parser.positionalArguments().size() != 1)
            return cliUsageError(syntax, QStringLiteral("tag set takes exactly one file"));
        return set(parser.positionalArguments().constFirst(), parser);
    }
    return usage(sub.isEmpty() ? QStringLiteral("tag needs a subcommand and a file")
                               : QStringLiteral("unknown tag subcommand \"%1\"").arg(sub));
}
