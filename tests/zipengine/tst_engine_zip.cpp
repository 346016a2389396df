// SPDX-License-Identifier: GPL-3.0-or-later
// The writing side of the engine, driven through the program's loader and callback tables and
// checked with independent readers (Python's zipfile, Info-ZIP unzip).

#include "tests/support/testsupport.h"
#include "zipengine/callbacks.h"
#include "zipengine/zipengine.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "tests/zipengine/flagletters.h"

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// What an independent reader sees of one member.
struct MemberInfo
{
    int method = -1;
    qint64 compressedSize = 0;
    int deflateOption = 0; // general purpose bits 1-2
    QString crc;
    QString rawDigest; // digest of the stored (compressed) bytes
    QString mode;      // permission bits from the external attributes, octal
    QString time;      // "YYYY-MM-DD HH:MM:SS"
};

QMap<QString, MemberInfo> describe(const QString &archive)
{
    QByteArray out;
    python(
        QStringLiteral(
            "import sys, zipfile, hashlib\n"
            "z = zipfile.ZipFile(sys.argv[1]); f = open(sys.argv[1], 'rb')\n"
            "for i in z.infolist():\n"
            "    f.seek(i.header_offset); h = f.read(30)\n"
            "    n = int.from_bytes(h[26:28], 'little'); e = int.from_bytes(h[28:30], 'little')\n"
            "    f.seek(i.header_offset + 30 + n + e); d = f.read(i.compress_size)\n"
            "    print('\\t'.join([i.filename, str(i.compress_type), str(i.compress_size),\n"
            "        str((i.flag_bits >> 1) & 3), '%08x' % i.CRC, hashlib.md5(d).hexdigest(),\n"
            "        '%o' % ((i.external_attr >> 16) & 0o7777),\n"
            "        '%04d-%02d-%02d %02d:%02d:%02d' % i.date_time]))\n"),
        {archive}, &out);
    QMap<QString, MemberInfo> members;
    for (const QString &line : QString::fromUtf8(out).split(QLatin1Char('\n'))) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() != 8)
            continue;
        members.insert(f[0],
                       {f[1].toInt(), f[2].toLongLong(), f[3].toInt(), f[4], f[5], f[6], f[7]});
    }
    return members;
}

bool unzipTest(const QString &archive)
{
    QByteArray out;
    return run(QStringLiteral("unzip"), {QStringLiteral("-tqq"), archive}, &out) == 0;
}

void setMtime(const QString &path, qint64 secs)
{
    const struct timespec times[2] = {{secs, 0}, {secs, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW),
             0);
}

qint64 localSecs(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s)).toSecsSinceEpoch();
}

// Makes a path unwritable even for root (immutable attribute) and undoes it on scope exit.
class ReadOnly
{
public:
    explicit ReadOnly(const QString &path) : m_path(path)
    {
        if (::geteuid() == 0)
            m_ok = run(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
        else
            m_ok = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~ReadOnly()
    {
        if (::geteuid() == 0)
            run(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        else
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool ok() const { return m_ok; }

private:
    QString m_path;
    bool m_ok = false;
};

} // namespace

class TestEngineZip : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<QTemporaryDir> m_corpus; // the read-path corpus, made on first use
    QString m_oldCwd;
    QStringList m_messages;

    QString path(const QString &name) const { return m_tmp->filePath(name); }

    void write(const QString &name, const QByteArray &data)
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        writeFile(path(name), data);
    }

    // Runs ZpArchive with the default options changed by `flags` (letters as the helper's).
    int zip(const QString &archive, const QStringList &names, const QString &flags = QString(),
            char level = '6', std::function<bool(const QString &, uint64_t)> service = {})
    {
        ZPOPT options = {};
        options.fGrow = -1;
        options.fRecurse = 1;
        options.fLevel = level;
        for (const QChar c : flags) {
            applyFlagLetter(options, c.toLatin1());
        }
        if (!ZipEngine::ZpSetOptions(&options))
            return -1;
        ZIPUSERFUNCTIONS functions;
        FillZipUserFunctions(functions);
        ZipEngine::ZpInit(&functions);
        EngineSink sink;
        sink.onService = std::move(service);
        EngineSinkScope scope(sink);

        QByteArray zipName = QFile::encodeName(archive);
        QList<QByteArray> copies;
        std::vector<char *> pointers;
        for (const QString &name : names)
            copies << QFile::encodeName(name);
        for (QByteArray &copy : copies)
            pointers.push_back(copy.data());
        ZCL command;
        command.Argc = static_cast<int32_t>(pointers.size());
        command.lpszZipFN = zipName.data();
        command.FNV = pointers.data();
        const int result = ZipEngine::ZpArchive(command);
        m_messages = sink.messages;
        return result;
    }

    // `count` distinct files of `size` bytes of text below "many/", in the order of their names.
    QStringList writeMany(int count, int size)
    {
        QStringList names;
        for (int i = 0; i < count; ++i) {
            QByteArray text;
            text.reserve(size + 64);
            for (int line = 0; text.size() < size; ++line)
                text += "file " + QByteArray::number(i) + " line " + QByteArray::number(line) +
                        " value " + QByteArray::number((i * 7919 + line * 104729) % 100003) + '\n';
            text.truncate(size);
            const QString name = QStringLiteral("many/f%1.txt").arg(i, 2, 10, QLatin1Char('0'));
            write(name, text);
            names << name;
        }
        return names;
    }

    // Python's zipfile reads every file member (CRC checked) and compares it with the file
    // of the same name below `root`; prints the number of members and of mismatches.
    QString compareWithFiles(const QString &archive, const QString &root)
    {
        QByteArray out;
        python(QStringLiteral(
                   "import sys, os, zipfile\n"
                   "z = zipfile.ZipFile(sys.argv[1])\n"
                   "names = [n for n in z.namelist() if not n.endswith('/')]\n"
                   "bad = [n for n in names\n"
                   "       if z.read(n) != open(os.path.join(sys.argv[2], n), 'rb').read()]\n"
                   "print(len(names), len(bad))\n"),
               {archive, root}, &out);
        return QString::fromUtf8(out).trimmed();
    }

    QStringList folderListing() const
    {
        return QDir(m_tmp->path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

private slots:
    void initTestCase() { QVERIFY(loadEngine()); }

    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        m_oldCwd = QDir::currentPath();
        QDir::setCurrent(m_tmp->path());
        m_messages.clear();
    }

    void cleanup()
    {
        QDir::setCurrent(m_oldCwd);
        m_tmp.reset();
    }

    // Another program replaces the archive after the engine has read it and before its new
    // archive takes the name: that change stays, and the engine says why its own did not.
    void otherWritersChangeKept()
    {
        makeZip(path("a.zip"), {{"old.txt", "old"}});
        makeZip(path("theirs.zip"), {{"theirs.txt", "their change"}});
        write("mine.txt", "my change");
        bool replaced = false;
        const int code =
            zip(path("a.zip"), {"mine.txt"}, "m", '6', [&](const QString &name, uint64_t) {
                if (!name.isEmpty() && !replaced)
                    replaced = std::rename("theirs.zip", "a.zip") == 0;
                return true;
            });
        QVERIFY(replaced);
        QCOMPARE(code, int(ZE_CREAT));
        QVERIFY(m_messages.join('\n').contains("was changed by another program while"));
        QCOMPARE(memberNames(path("a.zip")), QStringList{"theirs.txt"});
        QCOMPARE(folderListing(), (QStringList{"a.zip", "mine.txt"}));
    }

    void flagRules_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("hasEntry");
        QTest::addColumn<int>("fileAge");      // file time minus entry time, in seconds
        QTest::addColumn<QString>("expected"); // "new", "old" or "absent"
        QTest::addColumn<int>("code");

        QTest::newRow("add: no entry") << "" << false << 0 << "new" << 0;
        QTest::newRow("add: file newer replaces") << "" << true << 60 << "new" << 0;
        QTest::newRow("add: file older replaces") << "" << true << -60 << "new" << 0;
        QTest::newRow("update: no entry adds") << "u" << false << 0 << "new" << 0;
        QTest::newRow("update: newer replaces") << "u" << true << 60 << "new" << 0;
        QTest::newRow("update: older keeps") << "u" << true << -60 << "old" << 0;
        QTest::newRow("update: same time keeps") << "u" << true << 0 << "old" << 0;
        QTest::newRow("update: one odd second older rounds up to equal, keeps")
            << "u" << true << -1 << "old" << 0;
        QTest::newRow("update: one odd second newer rounds up, replaces")
            << "u" << true << 1 << "new" << 0;
        QTest::newRow("freshen: no entry skips") << "f" << false << 0 << "absent" << 12;
        QTest::newRow("freshen: newer replaces") << "f" << true << 60 << "new" << 0;
        QTest::newRow("freshen: older keeps") << "f" << true << -60 << "old" << 0;
    }

    void flagRules()
    {
        QFETCH(QString, flags);
        QFETCH(bool, hasEntry);
        QFETCH(int, fileAge);
        QFETCH(QString, expected);
        QFETCH(int, code);

        const QString archive = path(QStringLiteral("t.zip"));
        QList<Member> members{{QStringLiteral("other.txt"), "other"}};
        if (hasEntry)
            members << Member{QStringLiteral("a.txt"), "old text"};
        // Entries dated 2020-01-01 12:00:00 local time.
        QCOMPARE(python(
                     QStringLiteral(
                         "import sys, zipfile\n"
                         "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                         "    for i in range(2, len(sys.argv), 2):\n"
                         "        z.writestr(zipfile.ZipInfo(sys.argv[i], (2020, 1, 1, 12, 0, 0)),"
                         " sys.argv[i + 1])\n"),
                     QStringList{archive} +
                         [&] {
                             QStringList a;
                             for (const Member &m : members)
                                 a << m.name << QString::fromLatin1(m.data);
                             return a;
                         }()),
                 0);
        const QByteArray before = readFile(archive);
        write(QStringLiteral("a.txt"), "new text");
        setMtime(path(QStringLiteral("a.txt")), localSecs(2020, 1, 1, 12, 0, 0) + fileAge);

        QCOMPARE(zip(archive, {QStringLiteral("a.txt")}, flags), code);
        QVERIFY(unzipTest(archive));
        const QStringList names = memberNames(archive);
        QVERIFY(names.contains(QStringLiteral("other.txt")));
        if (expected == QLatin1String("absent")) {
            QVERIFY(!names.contains(QStringLiteral("a.txt")));
        } else {
            QCOMPARE(readMember(archive, QStringLiteral("a.txt")), expected == QLatin1String("new")
                                                                       ? QByteArray("new text")
                                                                       : QByteArray("old text"));
        }
        if (expected != QLatin1String("new"))
            QCOMPARE(readFile(archive), before); // nothing rewritten
    }

    void storedNames_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QStringList>("expected");

        const QStringList walked{"d/", "d/sub/", "d/sub/y.txt", "d/x.txt"};
        QTest::newRow("recurse keeps paths") << ""
                                             << "t.zip" << QStringList{"d"} << walked;
        QTest::newRow("recurse with junk paths: bare names, no folder entries")
            << "j"
            << "t.zip" << QStringList{"d"} << QStringList{"x.txt", "y.txt"};
        QTest::newRow("no recursion: the folder's own entry only")
            << "n"
            << "t.zip" << QStringList{"d"} << QStringList{"d/"};
        QTest::newRow("hidden entries below a walked folder with fSystem")
            << "s"
            << "t.zip" << QStringList{"d"}
            << QStringList{"d/",     "d/.h.txt",    "d/.hd/", "d/.hd/z.txt",
                           "d/sub/", "d/sub/y.txt", "d/x.txt"};
        QTest::newRow("hidden file named directly")
            << ""
            << "t.zip" << QStringList{"d/.h.txt"} << QStringList{"d/.h.txt"};
        QTest::newRow("leading ./ removed, .. dropped")
            << ""
            << "t.zip" << QStringList{"./d/x.txt", "d/sub/../x.txt"}
            << QStringList{"d/sub/x.txt", "d/x.txt"};
        QTest::newRow("absolute path loses its leading slash")
            << ""
            << "t.zip" << QStringList{"ABS/d/x.txt"} << QStringList{"ABS/d/x.txt"};
        QTest::newRow("archive inside the walked folder is not added")
            << ""
            << "d/in.zip" << QStringList{"d"} << walked;
        QTest::newRow("same file named twice is stored once")
            << ""
            << "t.zip" << QStringList{"d/x.txt", "./d/x.txt"} << QStringList{"d/x.txt"};
    }

    void storedNames()
    {
        QFETCH(QString, flags);
        QFETCH(QString, archive);
        QFETCH(QStringList, inputs);
        QFETCH(QStringList, expected);

        write(QStringLiteral("d/x.txt"), "x");
        write(QStringLiteral("d/.h.txt"), "h");
        write(QStringLiteral("d/sub/y.txt"), "y");
        write(QStringLiteral("d/.hd/z.txt"), "z");
        QVERIFY(QFile::link(path(QStringLiteral("d/sub")), path(QStringLiteral("d/link"))));
        const QString absolute = m_tmp->path().mid(1);
        for (QString &input : inputs)
            input.replace(QLatin1String("ABS"), m_tmp->path());
        for (QString &name : expected)
            name.replace(QLatin1String("ABS"), absolute);

        QCOMPARE(zip(path(archive), inputs, flags), 0);
        QVERIFY(unzipTest(path(archive)));
        QStringList names = memberNames(path(archive));
        names.sort();
        expected.sort();
        QCOMPARE(names, expected);
    }

    void duplicateStoredNamesRefused()
    {
        write(QStringLiteral("d/x.txt"), "one");
        write(QStringLiteral("e/x.txt"), "two");
        QCOMPARE(zip(path(QStringLiteral("t.zip")),
                     {QStringLiteral("d/x.txt"), QStringLiteral("e/x.txt")}, QStringLiteral("j")),
                 16);
        QVERIFY(!QFile::exists(path(QStringLiteral("t.zip"))));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].startsWith(QLatin1String("zip error: duplicate name x.txt")),
                 qPrintable(m_messages[0]));
    }

    void deletePatterns_data()
    {
        QTest::addColumn<QStringList>("patterns");
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<int>("code");

        QTest::newRow("star crosses folders")
            << QStringList{"*.txt"} << QStringList{"dir/sub/d.dat", "e1.log"} << 0;
        QTest::newRow("question mark")
            << QStringList{"?.txt"} << QStringList{"dir/c.txt", "dir/sub/d.dat", "e1.log"} << 0;
        QTest::newRow("bracket set") << QStringList{"[a].txt", "e[0-9].log"}
                                     << QStringList{"b.txt", "dir/c.txt", "dir/sub/d.dat"} << 0;
        QTest::newRow("exact name with leading ./")
            << QStringList{"./dir/c.txt"}
            << QStringList{"a.txt", "b.txt", "dir/sub/d.dat", "e1.log"} << 0;
        QTest::newRow("one pattern without match: the rest deleted, code 12")
            << QStringList{"a.txt", "none*"}
            << QStringList{"b.txt", "dir/c.txt", "dir/sub/d.dat", "e1.log"} << 12;
        QTest::newRow("no match at all")
            << QStringList{"none*"}
            << QStringList{"a.txt", "b.txt", "dir/c.txt", "dir/sub/d.dat", "e1.log"} << 12;
        QTest::newRow("last entry deleted leaves an empty archive")
            << QStringList{"*"} << QStringList{} << 0;
    }

    void deletePatterns()
    {
        QFETCH(QStringList, patterns);
        QFETCH(QStringList, remaining);
        QFETCH(int, code);
        const QString archive = path(QStringLiteral("t.zip"));
        makeZip(archive, {{"a.txt", "a"},
                          {"b.txt", "b"},
                          {"dir/c.txt", "c"},
                          {"dir/sub/d.dat", "d"},
                          {"e1.log", "e"}});
        const QByteArray before = readFile(archive);
        QCOMPARE(zip(archive, patterns, QStringLiteral("d")), code);
        QStringList names = memberNames(archive);
        names.sort();
        QCOMPARE(names, remaining);
        if (code == 12)
            QVERIFY(
                m_messages.join(QLatin1Char('\n')).contains(QLatin1String("zip warning: none*: ")));
        if (remaining.size() == 5)
            QCOMPARE(readFile(archive), before);
        if (remaining.isEmpty()) {
            QCOMPARE(QFileInfo(archive).size(), 22);
            QCOMPARE(python(QStringLiteral("import sys, zipfile\n"
                                           "assert zipfile.ZipFile(sys.argv[1]).namelist() == []"),
                            {archive}),
                     0);
            // An empty archive takes new entries again.
            write(QStringLiteral("n.txt"), "n");
            QCOMPARE(zip(archive, {QStringLiteral("n.txt")}), 0);
            QCOMPARE(memberNames(archive), QStringList{QStringLiteral("n.txt")});
        }
        const QStringList files =
            remaining.isEmpty() ? QStringList{"n.txt", "t.zip"} : QStringList{"t.zip"};
        QCOMPARE(folderListing(), files);
    }

    void updateTwiceRewritesNothing()
    {
        write(QStringLiteral("d/odd.txt"), "odd");
        write(QStringLiteral("d/even.txt"), "even");
        setMtime(path(QStringLiteral("d/odd.txt")), localSecs(2021, 5, 5, 10, 0, 1));
        setMtime(path(QStringLiteral("d/even.txt")), localSecs(2021, 5, 5, 10, 0, 2));
        const QString archive = path(QStringLiteral("t.zip"));
        QCOMPARE(zip(archive, {QStringLiteral("d")}, QStringLiteral("u")), 0);
        const QByteArray first = readFile(archive);
        QCOMPARE(describe(archive).value(QStringLiteral("d/odd.txt")).time,
                 QStringLiteral("2021-05-05 10:00:02"));
        QCOMPARE(zip(archive, {QStringLiteral("d")}, QStringLiteral("u")), 0);
        QCOMPARE(readFile(archive), first);
    }

    void levelUsed_data()
    {
        QTest::addColumn<char>("level");
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("option"); // deflate option bits: 1 maximum, 2 fast
        QTest::newRow("0 stores") << '0' << 0 << 0;
        QTest::newRow("1 deflates fast") << '1' << 8 << 2;
        QTest::newRow("9 deflates maximum") << '9' << 8 << 1;
    }

    void levelUsed()
    {
        QFETCH(char, level);
        QFETCH(int, method);
        QFETCH(int, option);
        QByteArray text;
        for (int i = 0; i < 4000; ++i)
            text += QByteArray::number(i * 7919 % 1000) + " lorem ipsum dolor\n";
        write(QStringLiteral("new.txt"), text);
        write(QStringLiteral("old.txt"), text);
        const QString archive = path(QStringLiteral("t.zip"));
        // old.txt already deflated at the normal level: its replacement must take the new level.
        makeZip(archive, {{"old.txt", "previous"}}, true);
        QCOMPARE(
            zip(archive, {QStringLiteral("new.txt"), QStringLiteral("old.txt")}, QString(), level),
            0);
        const auto members = describe(archive);
        for (const QString &name : {QStringLiteral("new.txt"), QStringLiteral("old.txt")}) {
            QCOMPARE(members.value(name).method, method);
            QCOMPARE(members.value(name).deflateOption, option);
            QCOMPARE(readMember(archive, name), text);
        }
        if (method == 0)
            QCOMPARE(members.value(QStringLiteral("new.txt")).compressedSize, text.size());
    }

    void replacementKeepsOtherMembers()
    {
        const QString archive = path(QStringLiteral("t.zip"));
        QByteArray big;
        for (int i = 0; i < 5000; ++i)
            big += QByteArray::number(i) + ',';
        makeZip(archive, {{"first.bin", big}, {"desc.diz", "old"}, {"last.bin", big + "x"}});
        const auto before = describe(archive);
        write(QStringLiteral("desc.diz"), "new description");
        QCOMPARE(zip(archive, {QStringLiteral("desc.diz")}, QStringLiteral("j")), 0);
        const auto after = describe(archive);
        for (const QString &name : {QStringLiteral("first.bin"), QStringLiteral("last.bin")}) {
            QCOMPARE(after.value(name).crc, before.value(name).crc);
            QCOMPARE(after.value(name).rawDigest, before.value(name).rawDigest);
            QCOMPARE(after.value(name).time, before.value(name).time);
        }
        QCOMPARE(readMember(archive, QStringLiteral("desc.diz")), QByteArray("new description"));
        QVERIFY(unzipTest(archive));
    }

    // A description saved beside members of the DOS-era methods copies them as they are; an
    // archive with data in front (a self-extractor, offsets adjusted or not) is refused
    // untouched rather than written without it.
    void savesAroundOldArchives_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("refusal"); // empty: saved
        QTest::newRow("shrink member kept") << "legacy_shrink.zip"
                                            << "";
        QTest::newRow("implode member kept") << "legacy_implode_8k_3.zip"
                                             << "";
        QTest::newRow("data in front, offsets not adjusted") << "front_stub.zip"
                                                             << "data in front";
        QTest::newRow("self-extractor, offsets adjusted") << "sfx.zip"
                                                          << "data in front";
        QTest::newRow("name like a Zip64 locator") << "false_locator.zip"
                                                   << "like a Zip64 record";
        QTest::newRow("extra field past its block") << "odd_field_overrun.zip"
                                                    << "read past but not written back";
        QTest::newRow("comment past the end") << "comment_too_long.zip"
                                              << "read past but not written back";
    }

    void savesAroundOldArchives()
    {
        QFETCH(QString, archive);
        QFETCH(QString, refusal);
        const bool saved = refusal.isEmpty();
        if (!m_corpus) {
            m_corpus = std::make_unique<QTemporaryDir>();
            QCOMPARE(run(QStringLiteral("python3"),
                         {QStringLiteral(QUORIL_SOURCE_DIR "/tests/zipengine/readpath_corpus.py"),
                          m_corpus->path()}),
                     0);
        }
        QVERIFY(QFile::copy(m_corpus->filePath(QStringLiteral("front_stub.zip")), path("sfx.zip")));
        QCOMPARE(run(QStringLiteral("zip"), {QStringLiteral("-qA"), path("sfx.zip")}), 0);
        if (archive != QLatin1String("sfx.zip"))
            QVERIFY(QFile::copy(m_corpus->filePath(archive), path(archive)));
        const QByteArray original = readFile(path(archive));
        const auto before = describe(path(archive));
        write(QStringLiteral("readme.txt"), "a new description");
        QCOMPARE(zip(path(archive), {QStringLiteral("readme.txt")}, QStringLiteral("j")) == 0,
                 saved);
        if (!saved) {
            QCOMPARE(readFile(path(archive)), original);
            QVERIFY(m_messages.join(QLatin1Char('\n')).contains(refusal));
            return;
        }
        const auto after = describe(path(archive));
        QCOMPARE(after.value(QStringLiteral("FILE_ID.DIZ")).rawDigest,
                 before.value(QStringLiteral("FILE_ID.DIZ")).rawDigest);
        QCOMPARE(readMember(path(archive), QStringLiteral("readme.txt")),
                 QByteArray("a new description"));
    }

    void permissionBitsAndSymlinkedArchive()
    {
        const QString real = path(QStringLiteral("real.zip"));
        const QString link = path(QStringLiteral("link.zip"));
        makeZip(real, {{"a.txt", "a"}});
        QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0640), 0);
        QVERIFY(QFile::link(real, link));
        write(QStringLiteral("b.txt"), "b");
        QCOMPARE(zip(link, {QStringLiteral("b.txt")}), 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(memberNames(real), (QStringList{"a.txt", "b.txt"}));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0640u);
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("b.txt"))).constData(), 0604), 0);
        write(QStringLiteral("c.txt"), "c");
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("c.txt"))).constData(), 0604), 0);
        QCOMPARE(zip(link, {QStringLiteral("c.txt")}), 0);
        QCOMPARE(describe(real).value(QStringLiteral("c.txt")).mode, QStringLiteral("604"));
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0640u);
    }

    void unwritableArchiveOrFolder_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only archive") << false << 15 << "archive is read-only";
        QTest::newRow("read-only folder") << true << 10 << "permission denied";
    }

    void unwritableArchiveOrFolder()
    {
        QFETCH(bool, folder);
        QFETCH(int, code);
        QFETCH(QString, reason);
        QDir().mkpath(path(QStringLiteral("box")));
        const QString archive = path(QStringLiteral("box/t.zip"));
        makeZip(archive, {{"a.txt", "a"}});
        const QByteArray before = readFile(archive);
        write(QStringLiteral("b.txt"), "b");
        ReadOnly guard(folder ? path(QStringLiteral("box")) : archive);
        QVERIFY(guard.ok());
        QCOMPARE(zip(archive, {QStringLiteral("b.txt")}), code);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].startsWith(QLatin1String("zip error: ")) &&
                     m_messages[0].endsWith(reason),
                 qPrintable(m_messages[0]));
        QCOMPARE(readFile(archive), before);
        QCOMPARE(QDir(path(QStringLiteral("box")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("t.zip")});
    }

    void missingInputWarnsAndRestIsAdded()
    {
        write(QStringLiteral("a.txt"), "a");
        const QString archive = path(QStringLiteral("t.zip"));
        QCOMPARE(zip(archive, {QStringLiteral("a.txt"), QStringLiteral("missing.txt")}), 18);
        QCOMPARE(m_messages,
                 QStringList{QStringLiteral("zip warning: missing.txt: file not found")});
        QCOMPARE(memberNames(archive), QStringList{QStringLiteral("a.txt")});

        // Nothing at all to add to a new archive: no file is created.
        QCOMPARE(zip(path(QStringLiteral("new.zip")), {QStringLiteral("missing.txt")}), 12);
        QCOMPARE(m_messages.last(), QStringLiteral("zip error: nothing to do"));
        QVERIFY(!QFile::exists(path(QStringLiteral("new.zip"))));
    }

    void failedCommitLeavesArchive_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("code");
        QTest::newRow("cancelled by the service callback") << true << 9;
        QTest::newRow("file grows while it is read") << false << 11;
    }

    void failedCommitLeavesArchive()
    {
        QFETCH(bool, cancel);
        QFETCH(int, code);
        const QString archive = path(QStringLiteral("t.zip"));
        makeZip(archive, {{"keep.txt", "keep"}});
        const QByteArray before = readFile(archive);
        write(QStringLiteral("a.txt"), "a");
        write(QStringLiteral("b.txt"), "b");
        const QStringList listing = folderListing();
        QStringList serviced;
        const int result = zip(archive, {QStringLiteral("a.txt"), QStringLiteral("b.txt")},
                               QStringLiteral("m"), '6', [&](const QString &name, uint64_t) {
                                   serviced << name;
                                   if (cancel)
                                       return name != QLatin1String("b.txt");
                                   QFile grow(path(name));
                                   if (grow.open(QIODevice::Append))
                                       grow.write("more");
                                   return true;
                               });
        QCOMPARE(result, code);
        QCOMPARE(serviced.first(), QStringLiteral("a.txt"));
        QCOMPARE(readFile(archive), before);
        QCOMPARE(folderListing(), listing); // no temporary file, no input deleted (fMove)
        if (!cancel)
            QVERIFY(m_messages.join(QLatin1Char('\n'))
                        .contains(QLatin1String("file changed size while being read")));
    }

    // Many files deflated on the worker threads: every member matches its file, the level is
    // honoured, and the service callback saw each file once.
    void manyFilesDeflatedInParallel_data()
    {
        QTest::addColumn<char>("level");
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("option");
        QTest::newRow("level 1") << '1' << 8 << 2;
        QTest::newRow("level 6") << '6' << 8 << 0;
        QTest::newRow("level 9") << '9' << 8 << 1;
        QTest::newRow("level 0 stores") << '0' << 0 << 0;
    }

    void manyFilesDeflatedInParallel()
    {
        QFETCH(char, level);
        QFETCH(int, method);
        QFETCH(int, option);
        QStringList names = writeMany(50, 300 << 10);
        write(QStringLiteral("many/empty.txt"), QByteArray());
        names << QStringLiteral("many/empty.txt");
        const QString archive = path(QStringLiteral("t.zip"));
        write(QStringLiteral("keep.txt"), "keep");
        makeZip(archive, {{"many/f07.txt", "previous"}, {"keep.txt", "keep"}});
        QStringList serviced;
        QCOMPARE(zip(archive, names, QString(), level,
                     [&](const QString &name, uint64_t size) {
                         serviced << name;
                         return size == static_cast<uint64_t>(QFileInfo(path(name)).size());
                     }),
                 0);
        // Once each; a file replacing an entry in place is reached where that entry stands.
        serviced.sort();
        QStringList sortedNames = names;
        sortedNames.sort();
        QCOMPARE(serviced, sortedNames);
        QCOMPARE(compareWithFiles(archive, m_tmp->path()), QStringLiteral("52 0"));
        QCOMPARE(readMember(archive, QStringLiteral("keep.txt")), QByteArray("keep"));
        QVERIFY(unzipTest(archive));
        const auto members = describe(archive);
        for (const QString &name : names) {
            if (name.endsWith(QLatin1String("empty.txt")))
                continue;
            QCOMPARE(members.value(name).method, method);
            QCOMPARE(members.value(name).deflateOption, option);
        }
        QCOMPARE(folderListing(), (QStringList{"keep.txt", "many", "t.zip"}));
    }

    // A run stopped half-way (cancel, or a file that changed or went away after the scan)
    // leaves the archive as it was, no temporary file, and every input in place.
    void manyFilesFailedCommit_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancelled at the 20th file") << "cancel" << 9 << "";
        QTest::newRow("a file grows") << "grow" << 11 << "file changed size while being read";
        QTest::newRow("a file shrinks") << "shrink" << 11 << "file changed size while being read";
        QTest::newRow("a file is removed") << "remove" << 18 << "f19.txt";
    }

    void manyFilesFailedCommit()
    {
        QFETCH(QString, what);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QStringList names = writeMany(50, 300 << 10);
        const QString archive = path(QStringLiteral("t.zip"));
        write(QStringLiteral("keep.txt"), "keep");
        makeZip(archive, {{"keep.txt", "keep"}});
        const QByteArray before = readFile(archive);
        const QStringList listing = folderListing();
        const QStringList inputs = QDir(path(QStringLiteral("many"))).entryList(QDir::Files);
        int calls = 0;
        const int result =
            zip(archive, names, QStringLiteral("m"), '6', [&](const QString &name, uint64_t) {
                if (++calls != 20)
                    return true;
                if (what == QLatin1String("cancel"))
                    return false;
                if (what == QLatin1String("remove")) {
                    QFile::remove(path(name));
                    return true;
                }
                QFile file(path(name));
                if (what == QLatin1String("grow") && file.open(QIODevice::Append))
                    file.write("more");
                else
                    file.resize(1000);
                return true;
            });
        QCOMPARE(result, code);
        QVERIFY(calls >= 20);
        if (what == QLatin1String("cancel"))
            QCOMPARE(calls, 20); // nothing asked after the cancel
        QCOMPARE(readFile(archive), before);
        QCOMPARE(folderListing(), listing); // no temporary file
        QStringList left = QDir(path(QStringLiteral("many"))).entryList(QDir::Files);
        if (what == QLatin1String("remove"))
            left << QStringLiteral("f19.txt");
        left.sort();
        QCOMPARE(left, inputs); // fMove deleted nothing
        QVERIFY(m_messages.join(QLatin1Char('\n')).contains(message));
        // The next run over the same folder works.
        if (what != QLatin1String("remove")) {
            QCOMPARE(zip(archive, names), 0);
            QCOMPARE(compareWithFiles(archive, m_tmp->path()), QStringLiteral("51 0"));
        }
    }

    void moveDeletesStoredInputs()
    {
        write(QStringLiteral("d/x.txt"), "x");
        write(QStringLiteral("d/sub/y.txt"), "y");
        write(QStringLiteral("kept.txt"), "kept");
        setMtime(path(QStringLiteral("kept.txt")), localSecs(2019, 1, 1, 0, 0, 0));
        const QString archive = path(QStringLiteral("t.zip"));
        QCOMPARE(zip(archive, {QStringLiteral("kept.txt")}), 0);
        write(QStringLiteral("kept.txt"), "kept"); // same content, file rewritten
        setMtime(path(QStringLiteral("kept.txt")), localSecs(2019, 1, 1, 0, 0, 0));
        QCOMPARE(
            zip(archive, {QStringLiteral("d"), QStringLiteral("kept.txt")}, QStringLiteral("um")),
            0);
        QCOMPARE(folderListing(), QStringList{QStringLiteral("t.zip")});
        QCOMPARE(readMember(archive, QStringLiteral("d/sub/y.txt")), QByteArray("y"));
        QCOMPARE(readMember(archive, QStringLiteral("kept.txt")), QByteArray("kept"));
    }

    void latestTime()
    {
        write(QStringLiteral("a.txt"), "a");
        write(QStringLiteral("b.txt"), "b");
        setMtime(path(QStringLiteral("a.txt")), localSecs(2018, 3, 3, 3, 3, 4));
        setMtime(path(QStringLiteral("b.txt")), localSecs(2018, 6, 6, 6, 6, 5));
        const QString archive = path(QStringLiteral("t.zip"));
        QCOMPARE(
            zip(archive, {QStringLiteral("a.txt"), QStringLiteral("b.txt")}, QStringLiteral("l")),
            0);
        QCOMPARE(QFileInfo(archive).lastModified().toSecsSinceEpoch(),
                 localSecs(2018, 6, 6, 6, 6, 6));
    }

    // A commit killed half-way leaves the old archive whole, and the next run works.
    void killedCommitLeavesArchive()
    {
        const QString archive = path(QStringLiteral("big.zip"));
        QCOMPARE(python(QStringLiteral(
                            "import sys, os, zipfile\n"
                            "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:\n"
                            "    z.writestr('old.bin', os.urandom(64 << 20))\n"
                            "open(sys.argv[2], 'wb').write(os.urandom(160 << 20))\n"),
                        {archive, path(QStringLiteral("huge.bin"))}),
                 0);
        const auto before = describe(archive);
        QProcess child;
        child.start(QStringLiteral(QUORIL_BIN_DIR "/tst_engine_zip_helper"),
                    {QStringLiteral(QUORIL_BIN_DIR), archive, QStringLiteral("-level"),
                     QStringLiteral("9"), path(QStringLiteral("huge.bin"))});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(60000));
        QVERIFY(child.readAllStandardOutput().contains("started"));
        QTest::qWait(300);
        QCOMPARE(child.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());

        QVERIFY(unzipTest(archive));
        QCOMPARE(describe(archive).keys(), before.keys());
        QCOMPARE(describe(archive).value(QStringLiteral("old.bin")).rawDigest,
                 before.value(QStringLiteral("old.bin")).rawDigest);
        write(QStringLiteral("small.txt"), "small");
        QCOMPARE(zip(archive, {path(QStringLiteral("small.txt"))}, QStringLiteral("j")), 0);
        QCOMPARE(memberNames(archive), (QStringList{"old.bin", "small.txt"}));
        QVERIFY(unzipTest(archive));
    }
};

QTEST_GUILESS_MAIN(TestEngineZip)
#include "tst_engine_zip.moc"
