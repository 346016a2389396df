// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/reader.h"

#include "archive/archiveops.h"
#include "description/lookup.h"
#include "description/text.h"
#include "formats/formats.h"
#include "id3/id3tag.h"
#include "id3/id3v2.h"

#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "zipengine/zipengine.h"

#include <QFile>

namespace catalog {

namespace {

// The caption that stands for "every custom name" in the command-line tool's lookups.
const QString AllCustom = QStringLiteral("all custom files");

Entry readArchive(const QByteArray &bytes, const ReadOptions &options)
{
    Entry entry;
    entry.path = bytes;
    entry.kind = Kind::Zip;
    const QString path = pathbytes::decode(bytes);
    // Told by the file's first bytes: an LHA archive named .zip is recorded as "lha".
    const formats::Format format = formats::detect(path);
    entry.format = formats::formatName(format);
    // Members are counted, no listing line is formatted: a collection holds many archives of
    // hundreds of members each.
    qint64 members = 0;
    QStringList messages;
    LookupState state;
    state.down = ModeButton::Auto;
    state.allCustomLabel = AllCustom;
    state.customCaption = AllCustom;
    state.customList = options.customList;
    LookupResult found;
    QByteArray comment;
    {
        // The engine's calls on one archive in one turn; the texts are decoded after it.
        std::optional<ZipEngine::Turn> turn;
        if (format == formats::Format::Zip)
            turn.emplace();
        formats::Listing listed; // another format's listing, read once for both
        const int code = ArchiveOps::countMembers(path, format, members, messages, &listed);
        if (code != PK_OK && code != PK_WARN) {
            entry.error =
                messages.isEmpty() ? ArchiveOps::unzipCodeText(code) : messages.constFirst();
            return entry;
        }
        found = ViewInfo(path, lookup::plan(state, path), format,
                         format == formats::Format::Zip ? nullptr : &listed);
        if (format == formats::Format::Zip)
            comment = archiveComment(path);
    }
    entry.members = int(members);
    if (found.found) {
        // The text as the pane shows it, so that searches find its words in any code page
        // and never match colour codes.
        entry.member = found.caption;
        const DescriptionText text = readDescription(found.bytes);
        entry.description = text.shownText();
        entry.details.append({QStringLiteral("codepage"), dostext::codePageName(text.page)});
        const dostext::Sauce &sauce = text.split.sauce;
        const std::pair<const char *, QString> fields[] = {{"sauce.title", sauce.title},
                                                           {"sauce.author", sauce.author},
                                                           {"sauce.group", sauce.group},
                                                           {"sauce.date", sauce.date}};
        for (const auto &[key, value] : fields)
            if (!value.isEmpty())
                entry.details.append({QString::fromLatin1(key), value});
        if (found.truncated)
            entry.setDetail(QStringLiteral("truncated"), QStringLiteral("description"));
    }
    if (!comment.isEmpty())
        entry.details.append({QStringLiteral("comment"), readDescription(comment).shownText()});
    return entry;
}

Entry readMp3(const QByteArray &bytes)
{
    Entry entry;
    entry.path = bytes;
    entry.kind = Kind::Mp3;
    entry.format = QStringLiteral("mp3");
    TID3Tag tag;
    tag.setFileName(pathbytes::decode(bytes));
    std::optional<id3v2::Fields> v2;
    try {
        v2 = id3v2::read(pathbytes::decode(bytes));
    } catch (const FileError &error) {
        // The ID3v2 reader is missing or failed: the ID3v1 record is still indexed.
        entry.setDetail(QStringLiteral("id3v2.error"), error.message());
    }
    if (v2) {
        for (const auto &[key, value] : {std::pair{"id3v2.title", &v2->title},
                                         {"id3v2.artist", &v2->artist},
                                         {"id3v2.album", &v2->album},
                                         {"id3v2.year", &v2->year},
                                         {"id3v2.genre", &v2->genre},
                                         {"id3v2.track", &v2->track},
                                         {"id3v2.comment", &v2->comment}})
            entry.setDetail(QLatin1String(key), *value);
    }
    // A file without a record reads as the tag pane's blank record ("Classical"): the index
    // records no ID3v1 tag for it rather than that genre.
    if (!tag.HasTag()) {
        entry.setDetail(QStringLiteral("id3v1"), QStringLiteral("none"));
        return entry;
    }
    entry.title = tag.Title();
    entry.artist = tag.Artist();
    entry.album = tag.Album();
    entry.year = tag.Year();
    entry.comment = tag.Comment();
    entry.genre = tag.Genre();
    entry.track = tag.Track();
    return entry;
}

} // namespace

void limitDescription(Entry &entry)
{
    if (!entry.description || entry.description->size() <= DescriptionTextLimit)
        return;
    qsizetype keep = DescriptionTextLimit;
    if (entry.description->at(keep - 1).isHighSurrogate())
        --keep;
    entry.description->truncate(keep);
    entry.setDetail(QStringLiteral("truncated"), QStringLiteral("description"));
}

ReadOptions ReadOptions::forCustomList(const QStringList &customList)
{
    ReadOptions options;
    options.customList = customList;
    // FNV-1a: the same list gives the same key in every process.
    quint64 hash = 14695981039346656037ull;
    // The reader's version is part of the key: entries read before descriptions were decoded
    // in their own code page are read again.
    const QString keyed = QStringLiteral("decoded-descriptions\n") + customList.join(u'\n');
    for (const char c : keyed.toUtf8()) {
        hash ^= uchar(c);
        hash *= 1099511628211ull;
    }
    options.planKey = qint64(hash);
    return options;
}

Entry readFile(const QByteArray &path, Kind kind, const ReadOptions &options)
{
    try {
        return kind == Kind::Zip ? readArchive(path, options) : readMp3(path);
    } catch (const std::exception &e) {
        Entry entry;
        entry.path = path;
        entry.kind = kind;
        entry.error = QString::fromLocal8Bit(e.what());
        return entry;
    }
}

} // namespace catalog
