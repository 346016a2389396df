// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/fileerror.h"
#include "id3/editkeys.h"
#include "id3/id3tag.h"
#include "id3/id3v2.h"
#include "tests/id3/id3fixtures.h"
#include "tests/support/testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace id3fixtures;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// Counts the reads that a FileName assignment triggers.
class CountingTag : public TID3Tag
{
public:
    int reads = 0;
    void ReadTag() override
    {
        ++reads;
        TID3Tag::ReadTag();
    }
};

const QByteArray Audio = audio(1000);

} // namespace

class TestID3Tag : public QObject
{
    Q_OBJECT

private slots:
    // A fresh folder per test function and row.
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void genreTable();
    void readsEveryField();
    void readsTitleText_data();
    void readsTitleText();
    void fileWithoutTag_data();
    void fileWithoutTag();
    void genreByte_data();
    void genreByte();
    void genreAssignment_data();
    void genreAssignment();
    void writtenText_data();
    void writtenText();
    void appendsThenOverwritesInPlace();
    void fileChangedSinceReading_data();
    void fileChangedSinceReading();
    void unchangedTagIsNotWritten();
    void writeFailureKeepsModified_data();
    void writeFailureKeepsModified();
    void writeFailingPartWayLeavesFile();
    void readFailureKeepsText();
    void trackNumber_data();
    void trackNumber();
    void fileNameAssignment();
    void id3v2AsMutagenReadsIt_data();
    void id3v2AsMutagenReadsIt();
    void faultyId3v2AsMutagenReadsIt_data();
    void faultyId3v2AsMutagenReadsIt();
    void saveBesideId3v2AndApe_data();
    void saveBesideId3v2AndApe();
    void editKeys_data();
    void editKeys();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString makeFile(const QByteArray &bytes, const QString &name = QStringLiteral("song.mp3"))
    {
        writeFile(path(name), bytes);
        return path(name);
    }
    QByteArray lastRecord(const QString &file) const { return readFile(file).right(128); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestID3Tag::genreTable()
{
    const QStringList &names = GenreNames();
    QCOMPARE(names.size(), 126);
    QCOMPARE(names.at(0), QStringLiteral("Blues"));
    QCOMPARE(names.at(32), QStringLiteral("Classical"));
    QCOMPARE(names.at(40), QStringLiteral("AlternRock"));
    QCOMPARE(names.at(67), QStringLiteral("Psychadelic"));
    QCOMPARE(names.at(78), QStringLiteral("Rock & Roll"));
    QCOMPARE(names.at(125), QStringLiteral("Dance Hall"));
    QVERIFY(!names.contains(QStringLiteral("Unknown")));
    // Every name finds its own index: no duplicates, no entry shadowed by another.
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(int(GenreIndex(names.at(i))), i);
}

void TestID3Tag::readsEveryField()
{
    const QString file = makeFile(Audio + record("Title", "Artist", "Album", "1999", "Comment", 9));
    TID3Tag tag;
    tag.setFileName(file);
    QCOMPARE(tag.Title(), QStringLiteral("Title"));
    QCOMPARE(tag.Artist(), QStringLiteral("Artist"));
    QCOMPARE(tag.Album(), QStringLiteral("Album"));
    QCOMPARE(tag.Year(), QStringLiteral("1999"));
    QCOMPARE(tag.Comment(), QStringLiteral("Comment"));
    QCOMPARE(tag.Genre(), QStringLiteral("Metal"));
    QCOMPARE(tag.TagPosition(), qint64(1000));
    QCOMPARE(tag.Track(), 0);
    QVERIFY(!tag.Modified());
}

void TestID3Tag::readsTitleText_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("title");
    QTest::newRow("space padded") << field("Song", 30, ' ') << QStringLiteral("Song");
    QTest::newRow("zero padded") << field("Song", 30, '\0') << QStringLiteral("Song");
    QTest::newRow("junk after the first zero")
        << field(QByteArray("Song\0old junk", 13), 30, '\0') << QStringLiteral("Song");
    QTest::newRow("leading control characters and spaces")
        << field("\x01\t  Song \r\x1f", 30) << QStringLiteral("Song");
    QTest::newRow("all 30 bytes used") << QByteArray(30, 'x') << QString(30, QLatin1Char('x'));
    QTest::newRow("Latin-1 bytes") << field("Caf\xe9 \xbc", 30) << QStringLiteral("Café ¼");
}

void TestID3Tag::readsTitleText()
{
    QFETCH(QByteArray, field);
    QByteArray rec = record("", "", "", "", "", 0);
    rec.replace(3, 30, field);
    TID3Tag tag;
    tag.setFileName(makeFile(Audio + rec));
    QFETCH(QString, title);
    QCOMPARE(tag.Title(), title);
}

void TestID3Tag::fileWithoutTag_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("audio only") << Audio;
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("shorter than a record, starting with TAG") << QByteArray("TAG" + audio(60));
    QTest::newRow("marker in lower case")
        << QByteArray(Audio + record("Title", "A", "B", "2000", "C", 17).replace(0, 3, "tag"));
}

void TestID3Tag::fileWithoutTag()
{
    QFETCH(QByteArray, bytes);
    TID3Tag tag;
    tag.setTitle(QStringLiteral("previous"));
    tag.setFileName(makeFile(bytes));
    for (const QString &text : {tag.Title(), tag.Artist(), tag.Album(), tag.Year(), tag.Comment()})
        QCOMPARE(text, QString());
    QCOMPARE(tag.Genre(), QStringLiteral("Classical"));
    QCOMPARE(tag.TagPosition(), qint64(bytes.size()));
    QCOMPARE(tag.Track(), 0);
}

void TestID3Tag::genreByte_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("genre");
    QTest::newRow("first entry") << 0 << QStringLiteral("Blues");
    QTest::newRow("last entry") << 125 << QStringLiteral("Dance Hall");
    QTest::newRow("just past the table") << 126 << QStringLiteral("Unknown");
    QTest::newRow("255") << 255 << QStringLiteral("Unknown");
}

void TestID3Tag::genreByte()
{
    QFETCH(int, byte);
    const QString file = makeFile(Audio + record("T", "", "", "", "", uchar(byte)));
    TID3Tag tag;
    tag.setFileName(file);
    QFETCH(QString, genre);
    QCOMPARE(tag.Genre(), genre);
    // A changed title writes the genre back as the number it reads as.
    tag.setTitle(QStringLiteral("New"));
    tag.WriteTag();
    QCOMPARE(uchar(lastRecord(file).at(127)), uchar(byte >= 126 ? 255 : byte));
}

void TestID3Tag::genreAssignment_data()
{
    QTest::addColumn<QString>("assigned");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("byte");
    QTest::newRow("lower case kept as typed") << "rock"
                                              << "rock" << 17;
    QTest::newRow("upper case with punctuation") << "ROCK & ROLL"
                                                 << "ROCK & ROLL" << 78;
    QTest::newRow("table spelling") << "Psychadelic"
                                    << "Psychadelic" << 67;
    QTest::newRow("dictionary spelling is not in the table") << "Psychedelic"
                                                             << "Unknown" << 255;
    QTest::newRow("Unknown itself") << "unknown"
                                    << "Unknown" << 255;
    QTest::newRow("trailing space does not match") << "Rock "
                                                   << "Unknown" << 255;
}

void TestID3Tag::genreAssignment()
{
    QFETCH(QString, assigned);
    const QString file = makeFile(Audio + record("T", "", "", "", "", 0));
    TID3Tag tag;
    tag.setFileName(file);
    tag.setGenre(assigned);
    QFETCH(QString, stored);
    QCOMPARE(tag.Genre(), stored);
    QVERIFY(tag.Modified());
    tag.WriteTag();
    QFETCH(int, byte);
    QCOMPARE(uchar(lastRecord(file).at(127)), uchar(byte));
}

void TestID3Tag::writtenText_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("year");
    QTest::addColumn<QByteArray>("titleBytes");
    QTest::addColumn<QByteArray>("yearBytes");
    QTest::newRow("31-character title, 5-character year")
        << QString(30, QLatin1Char('a')) + QLatin1Char('b') << "19999" << QByteArray(30, 'a')
        << QByteArray("1999");
    QTest::newRow("Latin-1 characters as single bytes")
        << "Café ¼"
        << "" << field("Caf\xe9 \xbc", 30) << QByteArray("    ");
    QTest::newRow("outside Latin-1 becomes ?") << "Ωmega €"
                                               << "" << field("?mega ?", 30) << QByteArray("    ");
    QTest::newRow("a character beyond the BMP is one ?")
        << QString::fromUtf8("a\xF0\x9F\x98\x80"
                             "b")
        << "" << field("a?b", 30) << QByteArray("    ");
    QTest::newRow("no zero byte inside a field")
        << QString::fromLatin1("a\0b", 3) << "" << field("a b", 30) << QByteArray("    ");
}

void TestID3Tag::writtenText()
{
    const QString file = makeFile(Audio + record("x", "", "", "", "", 0));
    TID3Tag tag;
    tag.setFileName(file);
    QFETCH(QString, title);
    tag.setTitle(title);
    QFETCH(QString, year);
    tag.setYear(year);
    tag.WriteTag();
    const QByteArray rec = lastRecord(file);
    QFETCH(QByteArray, titleBytes);
    QCOMPARE(rec.mid(3, 30), titleBytes);
    QFETCH(QByteArray, yearBytes);
    QCOMPARE(rec.mid(93, 4), yearBytes);
}

void TestID3Tag::appendsThenOverwritesInPlace()
{
    const QString file = makeFile(Audio);
    TID3Tag tag;
    tag.setFileName(file);
    tag.setTitle(QStringLiteral("First"));
    tag.WriteTag();
    QVERIFY(!tag.Modified());
    QByteArray bytes = readFile(file);
    QCOMPARE(bytes.size(), 1128);
    QCOMPARE(bytes.left(1000), Audio);
    // Untouched fields are spaces; the genre of a file without tag is "Classical", byte 32.
    QCOMPARE(bytes.mid(1000), record("First", "", "", "", "", 32));

    tag.setTitle(QStringLiteral("Second"));
    tag.setComment(QStringLiteral("Again"));
    tag.WriteTag();
    bytes = readFile(file);
    QCOMPARE(bytes.size(), 1128);
    QCOMPARE(bytes.left(1000), Audio);
    QCOMPARE(bytes.mid(1000), record("Second", "", "", "", "Again", 32));

    // A fresh tag finds the record at the same place.
    TID3Tag reread;
    reread.setFileName(file);
    QCOMPARE(reread.TagPosition(), qint64(1000));
    QCOMPARE(reread.Title(), QStringLiteral("Second"));
}

void TestID3Tag::fileChangedSinceReading_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("meanwhile");
    QTest::addColumn<QByteArray>("audio");
    const QByteArray tagged = Audio + record("Old", "", "", "", "", 1);
    QTest::newRow("file cut shorter") << Audio << Audio.left(500) << Audio.left(500);
    QTest::newRow("tag removed by another program") << tagged << Audio << Audio;
    QTest::newRow("tag added by another program")
        << Audio << Audio + record("Other", "", "", "", "", 2) << Audio;
}

// Another program changed the file between reading and writing: the record still goes where
// the file ends, over its tag or after its audio, never into the audio or past the end.
void TestID3Tag::fileChangedSinceReading()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, meanwhile);
    QFETCH(QByteArray, audio);
    const QString file = path(QStringLiteral("changed.mp3"));
    writeFile(file, before);
    TID3Tag tag;
    tag.setFileName(file);
    tag.setTitle(QStringLiteral("New"));
    writeFile(file, meanwhile);
    tag.WriteTag();
    const QByteArray bytes = readFile(file);
    QCOMPARE(bytes.size(), audio.size() + 128);
    QCOMPARE(bytes.left(audio.size()), audio);
    QCOMPARE(bytes.mid(audio.size(), 6), QByteArray("TAGNew"));
}

void TestID3Tag::unchangedTagIsNotWritten()
{
    // Zero padding reads like space padding; rewriting it would change the bytes.
    const QByteArray original = Audio + record("Same", "Artist", "", "2001", "", 17, '\0');
    const QString file = makeFile(original);
    const QDateTime past(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(past, QFileDevice::FileModificationTime));
    }
    TID3Tag tag;
    tag.setFileName(file);
    tag.setTitle(QStringLiteral("Same"));
    tag.setArtist(QStringLiteral("Artist"));
    tag.setYear(QStringLiteral("2001"));
    tag.setGenre(QStringLiteral("Rock"));
    QVERIFY(!tag.Modified());
    tag.WriteTag();
    QCOMPARE(QFileInfo(file).lastModified().toUTC(), past);
    QCOMPARE(readFile(file), original);
}

void TestID3Tag::writeFailureKeepsModified_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("read-only file") << "read-only";
    QTest::newRow("folder in place of the file") << "folder";
    QTest::newRow("file deleted since it was read") << "deleted";
}

void TestID3Tag::writeFailureKeepsModified()
{
    QFETCH(QString, how);
    const QString file = makeFile(Audio + record("Old", "", "", "", "", 0));
    TID3Tag tag;
    tag.setFileName(file);
    if (how == QLatin1String("read-only")) {
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
        QFile probe(file);
        if (probe.open(QIODevice::ReadWrite)) // the superuser writes anyway
            QSKIP("permissions do not stop this user from writing");
    } else {
        QVERIFY(QFile::remove(file));
        if (how == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(file));
    }
    tag.setTitle(QStringLiteral("New"));
    try {
        tag.WriteTag();
        QFAIL("no FileError");
    } catch (const FileError &error) {
        QCOMPARE(error.message(), QStringLiteral("Cannot open file %1").arg(file));
    }
    QVERIFY(tag.Modified());
    QCOMPARE(tag.Title(), QStringLiteral("New"));
    if (how == QLatin1String("deleted"))
        QVERIFY(!QFileInfo::exists(file)); // never created
}

void TestID3Tag::writeFailingPartWayLeavesFile()
{
    const QByteArray original = Audio;
    const QString file = makeFile(original);
    TID3Tag tag;
    tag.setFileName(file);
    tag.setTitle(QStringLiteral("NewTitle"));
    // A file size limit stands in for a full disk: 50 bytes of the record fit.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = rlim_t(original.size() + 50);
    setrlimit(RLIMIT_FSIZE, &limit);
    QString message;
    try {
        tag.WriteTag();
    } catch (const FileError &error) {
        message = error.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    QCOMPARE(message, QStringLiteral("Cannot write file %1").arg(file));
    QCOMPARE(readFile(file), original);
    QVERIFY(tag.Modified());
}

void TestID3Tag::readFailureKeepsText()
{
    TID3Tag tag;
    tag.setFileName(makeFile(Audio + record("Kept", "", "", "", "", 0)));
    QVERIFY(QFile::remove(path(QStringLiteral("song.mp3"))));
    QVERIFY_THROWS_EXCEPTION(FileError, tag.ReadTag());
    QCOMPARE(tag.Title(), QStringLiteral("Kept"));
}

void TestID3Tag::trackNumber_data()
{
    QTest::addColumn<QByteArray>("comment");
    QTest::addColumn<QString>("newComment");
    QTest::addColumn<QString>("readComment");
    QTest::addColumn<int>("track");
    QTest::addColumn<QByteArray>("writtenComment");
    QTest::newRow("v1.1 track kept")
        << field("Nice", 28, '\0') + QByteArray("\0\x07", 2) << QString() << "Nice" << 7
        << field("Nice", 28) + QByteArray("\0\x07", 2);
    QTest::newRow("v1.1 comment cut to 28 bytes")
        << field("Nice", 28, '\0') + QByteArray("\0\xff", 2) << QString(29, QLatin1Char('c'))
        << "Nice" << 255 << QByteArray(28, 'c') + QByteArray("\0\xff", 2);
    QTest::newRow("zero padding is not a track")
        << field("Nice", 30, '\0') << QString() << "Nice" << 0 << field("Nice", 30);
    QTest::newRow("full 30-byte comment")
        << QByteArray(30, 'z') << QString() << QString(30, QLatin1Char('z')) << 0
        << QByteArray(30, 'z');
}

void TestID3Tag::trackNumber()
{
    QFETCH(QByteArray, comment);
    QFETCH(QString, newComment);
    QByteArray rec = record("T", "", "", "", "", 0);
    rec.replace(97, 30, comment);
    const QString file = makeFile(Audio + rec);
    TID3Tag tag;
    tag.setFileName(file);
    QFETCH(QString, readComment);
    QCOMPARE(tag.Comment(), readComment);
    QFETCH(int, track);
    QCOMPARE(tag.Track(), track);
    tag.setTitle(QStringLiteral("Changed"));
    if (!newComment.isNull())
        tag.setComment(newComment);
    tag.WriteTag();
    QFETCH(QByteArray, writtenComment);
    QCOMPARE(lastRecord(file).mid(97, 30), writtenComment);
}

void TestID3Tag::fileNameAssignment()
{
    const QString first = makeFile(Audio + record("First", "", "", "", "", 0), "a.mp3");
    CountingTag tag;
    tag.setFileName(first);
    tag.setFileName(first);
    QCOMPARE(tag.reads, 1);
    QCOMPARE(tag.Title(), QStringLiteral("First"));

    // A name without a file is stored, nothing is read and the text stays.
    const QString missing = path(QStringLiteral("A.mp3"));
    tag.setFileName(missing);
    QCOMPARE(tag.reads, 1);
    QCOMPARE(tag.FileName(), missing);
    QCOMPARE(tag.Title(), QStringLiteral("First"));
    QVERIFY(!tag.Modified());

    tag.setFileName(first);
    QCOMPARE(tag.reads, 2);
}

void TestID3Tag::editKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("edit");
    const int none = Qt::NoModifier;
    const int keypad = Qt::KeypadModifier;
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << true;
    QTest::newRow("keypad divide") << int(Qt::Key_Slash) << keypad << true;
    QTest::newRow("keypad decimal point") << int(Qt::Key_Period) << keypad << true;
    QTest::newRow("backslash") << int(Qt::Key_Backslash) << none << true;
    QTest::newRow("slash on the main keys") << int(Qt::Key_Slash) << none << false;
    QTest::newRow("comma") << int(Qt::Key_Comma) << none << false;
    QTest::newRow("keypad Home (NumLock off)") << int(Qt::Key_Home) << keypad << false;
    QTest::newRow("left arrow") << int(Qt::Key_Left) << none << false;
    QTest::newRow("Shift alone") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << false;
}

void TestID3Tag::editKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, edit);
    QCOMPARE(isEditKey(key, Qt::KeyboardModifiers(modifiers)), edit);
}

void TestID3Tag::id3v2AsMutagenReadsIt_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("version");
    QTest::newRow("id3v2: 2.3, Latin-1, genre by number")
        << "id3v2"
        << QStringList{"-2", "-t", "Café", "-a", "Art", "-A", "Alb", "-g", "17", "-T", "3/9"}
        << "2.3";
    QTest::newRow("mid3v2: 2.4, UTF-8, two artists")
        << "mid3v2" << QStringList{"-t", "Ωmega", "-a", "Ärtist", "-a", "Zweite",
                                   "-A", "Ål",    "-g", "Trance", "-T", "4/10"}
        << "2.4";
    QTest::newRow("eyeD3: 2.4, UTF-16")
        << "eyeD3" << QStringList{"-Q", "--encoding", "utf16", "-t",   "日本語", "-a", "Bänd",
                                  "-A", "Al",         "-G",    "Jazz", "-n",     "5"}
        << "2.4";
}

void TestID3Tag::id3v2AsMutagenReadsIt()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, version);
    const QString file = m_dir->filePath("v2.mp3");
    QVERIFY(makeId3v2(file, tool, args));
    const QMap<QString, QString> want = mutagenFrames(file);
    const std::optional<id3v2::Fields> got = id3v2::read(file);
    QVERIFY(got);
    QCOMPARE(got->version, version);
    QCOMPARE(QStringList({got->title, got->artist, got->album, got->genre, got->track}),
             QStringList({want["TIT2"], want["TPE1"], want["TALB"], want["TCON"], want["TRCK"]}));
}

void TestID3Tag::faultyId3v2AsMutagenReadsIt_data()
{
    QTest::addColumn<QByteArray>("frames"); // of a 2.3 tag, before a TIT2 "Title"
    QTest::newRow("empty frame") << QByteArray("TENC\0\0\0\0\0\0", 10);
    QTest::newRow("frame of no proper name") << QByteArray("Date\0\0\0\2\0\0\0x", 12);
    QTest::newRow("UTF-16 without byte-order mark") << QByteArray("TALB\0\0\0\5\0\0\1E\0R\0", 15);
}

void TestID3Tag::faultyId3v2AsMutagenReadsIt()
{
    QFETCH(QByteArray, frames);
    frames += QByteArray("TIT2\0\0\0\6\0\0\0Title", 16);
    const QString file = m_dir->filePath("faulty.mp3");
    writeFile(file, QByteArray("ID3\3\0\0\0\0\0", 9) + char(frames.size()) + frames + audio(99));
    const QMap<QString, QString> want = mutagenFrames(file);
    QCOMPARE(id3v2::read(file)->title, want.value("TIT2"));
    QCOMPARE(id3v2::read(file)->album, want.value("TALB"));
}

void TestID3Tag::saveBesideId3v2AndApe_data()
{
    QTest::addColumn<bool>("withId3v1");
    QTest::newRow("ID3v2 and APE: the record is appended") << false;
    QTest::newRow("ID3v2, APE and ID3v1: the record is overwritten") << true;
}

void TestID3Tag::saveBesideId3v2AndApe()
{
    QFETCH(bool, withId3v1);
    const QString file = m_dir->filePath("ape.mp3");
    QVERIFY(makeId3v2(file, "mid3v2", {"-t", "Front"}));
    QCOMPARE(testsupport::run("/usr/bin/python3", {"-c",
                                                   "import sys, mutagen.apev2 as a; t = a.APEv2(); "
                                                   "t['Title'] = 'Ape'; t.save(sys.argv[1])",
                                                   file}),
             0);
    if (withId3v1)
        QCOMPARE(testsupport::run("id3v2", {"-1", "-t", "Old", file}), 0);
    const QByteArray before = readFile(file);
    TID3Tag tag;
    tag.setFileName(file);
    QCOMPARE(tag.HasTag(), withId3v1);
    tag.setTitle("New");
    tag.WriteTag();
    const QByteArray after = readFile(file);
    const qsizetype kept = withId3v1 ? before.size() - 128 : before.size();
    QCOMPARE(after.size(), kept + 128);
    QVERIFY(after.left(kept) == before.left(kept));
    QCOMPARE(mutagenFrames(file).value("TIT2"), "Front");
    QByteArray ape;
    testsupport::run(
        "/usr/bin/python3",
        {"-c", "import sys, mutagen.apev2 as a; print(a.APEv2(sys.argv[1])['Title'])", file}, &ape);
    QCOMPARE(ape, "Ape\n");
}

QTEST_GUILESS_MAIN(TestID3Tag)
#include "tst_id3tag.moc"
