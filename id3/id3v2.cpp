// SPDX-License-Identifier: GPL-3.0-or-later
#include "id3/id3v2.h"

#include "id3/id3tag.h"

#include "id3/module.h"

#include "common/fileerror.h"
#include "common/module.h"
#include "common/pathbytes.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace id3v2 {

namespace {

constexpr int HeaderSize = 10;
constexpr int FooterSize = 10;
constexpr char FooterFlag = 0x10;

// The parser module, loaded the first time a file begins with a tag.
struct Parser
{
    QuorilId3v2ParseFn parse = nullptr;
    QuorilId3v2ReleaseFn release = nullptr;
    QuorilId3v2GenreFn genre = nullptr;
    QString problem;
};

const Parser &parser()
{
    static const Parser loaded = [] {
        ProgramModule module = loadProgramModule(QUORIL_ID3V2_LIBRARY, QStringLiteral("ID3v2"));
        Parser p;
        p.parse = reinterpret_cast<QuorilId3v2ParseFn>(module.entry(QUORIL_ID3V2_PARSE_SYMBOL));
        p.release =
            reinterpret_cast<QuorilId3v2ReleaseFn>(module.entry(QUORIL_ID3V2_RELEASE_SYMBOL));
        p.genre = reinterpret_cast<QuorilId3v2GenreFn>(module.entry(QUORIL_ID3V2_GENRE_SYMBOL));
        p.problem = module.problem;
        return p;
    }();
    return loaded;
}

// One value of a frame as the parser gave it.
struct Value
{
    QByteArray frame;
    int kind = QuorilId3v2OtherFrame;
    QString text, description;
};
using Values = QList<Value>;

// The parsed frames of a tag's bytes; nothing when the parser finds no tag. Throws FileError
// when the parser cannot be loaded.
std::optional<Values> parsed(const QString &path, const QByteArray &tag)
{
    const Parser &p = parser();
    if (!p.problem.isEmpty())
        throw FileError(QStringLiteral("Cannot read the ID3v2 tag of %1: %2")
                            .arg(pathbytes::display(path), p.problem));
    QuorilId3v2Values out{};
    const int result = p.parse(tag.constData(), size_t(tag.size()), &out);
    if (result == QuorilId3v2Failed)
        throw FileError(QStringLiteral("Cannot read the ID3v2 tag of %1: its parser failed")
                            .arg(pathbytes::display(path)));
    if (result != QuorilId3v2Parsed)
        return std::nullopt;
    Values values;
    values.reserve(qsizetype(out.count));
    for (size_t i = 0; i < out.count; ++i) {
        const QuorilId3v2Value &v = out.values[i];
        values.append({QByteArray(v.frame), v.kind,
                       QString::fromUtf8(v.text, qsizetype(v.textSize)),
                       QString::fromUtf8(v.description, qsizetype(v.descriptionSize))});
    }
    p.release(&out);
    return values;
}

Values frameValues(const Values &all, const char *frame)
{
    Values found;
    for (const Value &v : all)
        if (v.frame == frame)
            found.append(v);
    return found;
}

// The bytes of the tag at the start of the file (header, frames and footer), or nothing when
// the file does not begin with a header a reader would take: "ID3", a version 2 to 4 and a
// size of four 7-bit bytes.
std::optional<QByteArray> tagBytes(const QString &path)
{
    QFile file;
    if (!pathbytes::openFile(file, path, QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
    const QByteArray header = file.read(HeaderSize);
    if (header.size() != HeaderSize || !header.startsWith("ID3") || header[3] < 2 ||
        header[3] > 4 || uchar(header[4]) == 0xff)
        return std::nullopt;
    qint64 size = 0;
    for (int i = 6; i < HeaderSize; ++i) {
        if (uchar(header[i]) & 0x80)
            return std::nullopt;
        size = size << 7 | uchar(header[i]);
    }
    if (header[3] == 4 && (header[5] & FooterFlag))
        size += FooterSize;
    // A size beyond the file's end is cut to what is there: the frames before the end still
    // read, and a lying header never makes us hold more than the file.
    return header + file.read(qMin(size, file.size() - HeaderSize));
}

bool isFrameId(const char *id)
{
    return std::all_of(id, id + 4,
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// A 2.3 or 2.4 tag as a lenient reader takes it, for a parser that gives up at the first fault:
// without its extended header and footer, without empty frames and frames whose name is not one,
// the last frame cut to the tag's end. A 2.3 tag unsynchronised as a whole is left as it is
// (its frame sizes count the stuffed bytes).
QByteArray tidied(const QByteArray &tag)
{
    const int major = tag[3];
    const char flags = tag[5];
    if (major < 3 || (major == 3 && (flags & 0x80)))
        return tag;
    // Some writers put 2.2 frames (three-letter names) under a 2.3 header; the parser knows them.
    if (tag.size() > HeaderSize + 4 && tag[HeaderSize + 3] == '\0' && !(flags & 0x40))
        return tag;
    const auto number = [&tag, major](qsizetype at) {
        quint32 n = 0;
        for (int i = 0; i < 4; ++i)
            n = major == 4 ? n << 7 | (uchar(tag[at + i]) & 0x7f) : n << 8 | uchar(tag[at + i]);
        return qint64(n);
    };
    const qint64 end = tag.size() - (major == 4 && (flags & FooterFlag) ? FooterSize : 0);
    qint64 at = HeaderSize;
    if ((flags & 0x40) && at + 4 <= end)
        at += major == 3 ? 4 + number(at) : number(at);
    QByteArray frames;
    while (at + HeaderSize <= end && tag[at] != '\0') {
        const qint64 size = qMin(number(at + 4), end - at - HeaderSize);
        if (size > 0 && isFrameId(tag.constData() + at)) {
            QByteArray frame = tag.mid(at, HeaderSize + size);
            // UTF-16 text without a byte-order mark is little-endian, as Windows writes it.
            if (frame[0] == 'T' && frame[8] == '\0' && frame[9] == '\0' && size >= 3 &&
                frame[10] == '\1' && !frame.mid(11, 2).contains('\xff'))
                frame.insert(11, "\xff\xfe", 2);
            const qint64 length = frame.size() - HeaderSize;
            for (int i = 0; i < 4; ++i) // the size again, of what is there
                frame[4 + i] =
                    char(major == 4 ? length >> (7 * (3 - i)) & 0x7f : length >> (8 * (3 - i)));
            frames += frame;
        }
        at += HeaderSize + qMax<qint64>(size, 0);
    }
    QByteArray header = tag.left(HeaderSize);
    header[5] = char(flags & ~(0x40 | FooterFlag));
    for (int i = 0; i < 4; ++i)
        header[6 + i] = char(frames.size() >> (7 * (3 - i)) & 0x7f);
    return header + frames;
}

// Every value of every frame of this kind, in order and each once (a 2.3 tag may repeat a
// frame, a 2.4 frame may hold several values).
QString values(const Values &frames)
{
    QStringList all;
    for (const Value &value : frames) {
        if (!value.text.isEmpty() && !all.contains(value.text))
            all << value.text;
    }
    return all.join(QStringLiteral(" / "));
}

// A genre value: a name, or an ID3v1 genre number, alone or in parentheses before an optional
// name ("(17)", "(17)Rock", "17").
QString genreName(const QString &value)
{
    QString number = value;
    if (value.startsWith(QLatin1Char('('))) {
        const qsizetype close = value.indexOf(QLatin1Char(')'));
        if (close < 0)
            return value;
        if (close + 1 < value.size())
            return value.mid(close + 1);
        number = value.mid(1, close - 1);
    }
    bool isNumber = false;
    const int index = number.toInt(&isNumber);
    if (!isNumber || number.isEmpty() || !number.at(0).isDigit())
        return value;
    if (index < GenreCount)
        return GenreNames().at(index);
    char name[64];
    const size_t length = parser().genre(index, name, sizeof name);
    const QString other = QString::fromUtf8(name, qsizetype(std::min(length, sizeof name - 1)));
    return other.isEmpty() ? value : other;
}

QString genres(const Values &frames)
{
    QStringList all;
    for (const Value &value : frames) {
        if (value.kind != QuorilId3v2TextFrame)
            continue;
        const QString name = genreName(value.text);
        if (!name.isEmpty() && !all.contains(name))
            all << name;
    }
    return all.join(QStringLiteral(" / "));
}

// The comment a user wrote: the one without a description, else the first that is not a
// player's private note (iTunes keeps its volume data in comments named "iTun...").
QString comment(const Values &frames)
{
    const Value *chosen = nullptr;
    for (const Value &c : frames) {
        if (c.kind != QuorilId3v2CommentFrame)
            continue;
        if (c.description.isEmpty())
            return c.text;
        if (!chosen && !c.description.startsWith(QLatin1String("iTun")))
            chosen = &c;
    }
    return chosen ? chosen->text : QString();
}

} // namespace

std::optional<Fields> read(const QString &path)
{
    const std::optional<QByteArray> bytes = tagBytes(path);
    if (!bytes)
        return std::nullopt;
    // The parser sees only a copy of the tag in memory: it cannot touch the file.
    const std::optional<Values> frames = parsed(path, tidied(*bytes));
    if (!frames)
        return std::nullopt;
    const auto frameList = [&frames](const char *id) { return frameValues(*frames, id); };
    Fields fields;
    fields.version = QStringLiteral("2.%1").arg(int(uchar(bytes->at(3))));
    fields.title = values(frameList("TIT2"));
    fields.artist = values(frameList("TPE1"));
    fields.album = values(frameList("TALB"));
    fields.year = values(frameList("TDRC"));
    if (fields.year.isEmpty()) // some taggers write only the release time
        fields.year = values(frameList("TDRL"));
    fields.genre = genres(frameList("TCON"));
    fields.track = values(frameList("TRCK"));
    fields.comment = comment(frameList("COMM"));
    return fields;
}

QString yearOf(const QString &time)
{
    if (time.size() >= 4 &&
        std::all_of(time.begin(), time.begin() + 4, [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return time.left(4);
    return time;
}

int trackOf(const QString &track)
{
    bool ok = false;
    const int number = track.section(QLatin1Char('/'), 0, 0).trimmed().toInt(&ok);
    return ok && number > 0 && number <= 255 ? number : 0;
}

Id3v1Texts forId3v1(const Fields &v2)
{
    Id3v1Texts v1{v2.title, v2.artist,  v2.album,         yearOf(v2.year),
                  {},       v2.comment, trackOf(v2.track)};
    const QStringList genres = v2.genre.split(QStringLiteral(" / "), Qt::SkipEmptyParts);
    for (const QString &genre : genres) {
        if (GenreIndex(genre) >= 0) {
            v1.genre = genre;
            break;
        }
    }
    if (v1.genre.isEmpty() && !genres.isEmpty())
        v1.genre = genres.constFirst();
    return v1;
}

QStringList differences(const Id3v1Texts &v1, const Fields &v2)
{
    const Id3v1Texts wanted = forId3v1(v2);
    const int commentWidth = v1.track != 0 ? TID3Tag::TrackCommentWidth : TID3Tag::TextWidth;
    const auto stored = [](const QString &text, int width) {
        return fitField(text, width).stored.trimmed();
    };
    QStringList differ;
    const auto compare = [&](const char *label, const QString &have, const QString &want,
                             int width) {
        if (!want.isEmpty() && stored(have, width) != stored(want, width))
            differ << QLatin1String(label);
    };
    compare("Title", v1.title, wanted.title, TID3Tag::TextWidth);
    compare("Artist", v1.artist, wanted.artist, TID3Tag::TextWidth);
    compare("Album", v1.album, wanted.album, TID3Tag::TextWidth);
    compare("Year", v1.year, wanted.year, TID3Tag::YearWidth);
    if (GenreIndex(wanted.genre) >= 0 && GenreIndex(v1.genre) != GenreIndex(wanted.genre))
        differ << QStringLiteral("Genre");
    if (wanted.track != 0 && wanted.track != v1.track)
        differ << QStringLiteral("Track");
    compare("Comment", v1.comment, wanted.comment, commentWidth);
    return differ;
}

} // namespace id3v2
