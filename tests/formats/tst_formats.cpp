// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/archiveops.h"
#include "catalog/reader.h"
#include "description/embed.h"
#include "description/lookup.h"
#include "formats/formats.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(loadEngine()); }
    void lookup_data();
    void lookup();
    void hostile_data();
    void hostile();
    void confinement();
    void missingHelper();

private:
    // Makes GAME.<ext> in `dir` with `tool` from the files (name, bytes) given.
    QString make(const QString &tool, const QString &dir, const QList<Member> &files,
                 const QString &name = {});
    QTemporaryDir m_dir;
};

const QByteArray Diz = "Group presents\r\nA game\r\n";

QString TestFormats::make(const QString &tool, const QString &dir, const QList<Member> &files,
                          const QString &name)
{
    const QString src = dir + QStringLiteral("/src");
    QDir().mkpath(src);
    QStringList names;
    for (const Member &m : files) {
        QDir().mkpath(QFileInfo(src + u'/' + m.name).path());
        writeFile(src + u'/' + m.name, m.data);
        names << m.name;
    }
    const QString ext = tool == QLatin1String("cpio") || tool == QLatin1String("iso") ? tool
                        : tool == QLatin1String("tgz") ? QStringLiteral("tar.gz")
                                                       : tool;
    const QString archive = dir + u'/' + (name.isEmpty() ? QStringLiteral("GAME.") + ext : name);
    QStringList args;
    QString program = tool;
    if (tool == QLatin1String("lha"))
        program = QStringLiteral("jlha"), args << QStringLiteral("a") << archive << names;
    else if (tool == QLatin1String("arj"))
        args << QStringLiteral("a") << QStringLiteral("-y") << archive << names;
    else if (tool == QLatin1String("7z"))
        args << QStringLiteral("a") << QStringLiteral("-bd") << QStringLiteral("-mhc=off")
             << archive << names;
    else {
        program = QStringLiteral("bsdtar");
        const QString fmt =
            tool == QLatin1String("tgz") ? QStringLiteral("-czf") : QStringLiteral("-cf");
        if (tool == QLatin1String("cpio"))
            args << QStringLiteral("--format") << QStringLiteral("cpio");
        if (tool == QLatin1String("iso"))
            args << QStringLiteral("--format") << QStringLiteral("iso9660");
        args << fmt << archive << names;
    }
    if (run(program, args, nullptr, src) != 0)
        qWarning("%s failed", qPrintable(program));
    removeTree(src);
    return archive;
}

void TestFormats::lookup_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("name"); // the archive's name; empty: GAME.<tool>
    QTest::newRow("LHA by jlha") << "lha"
                                 << "lha"
                                 << "";
    QTest::newRow("LHA named .zip") << "lha"
                                    << "lha"
                                    << "GAME.ZIP";
    QTest::newRow("ARJ by arj, read by unar") << "arj"
                                              << "arj"
                                              << "";
    QTest::newRow("7z by 7z") << "7z"
                              << "7z"
                              << "";
    QTest::newRow("tar.gz by bsdtar") << "tgz"
                                      << "tar"
                                      << "";
    QTest::newRow("cpio by bsdtar") << "cpio"
                                    << "cpio"
                                    << "";
    QTest::newRow("ISO 9660 by bsdtar") << "iso"
                                        << "iso"
                                        << "";
}

// A description is found with the zip lookup's rules (case folding, the archive-named text
// file), delivered byte for byte, cannot be saved, and the index records the format.
void TestFormats::lookup()
{
    QFETCH(QString, tool);
    QFETCH(QString, format);
    QFETCH(QString, name);
    const QTemporaryDir dir;
    const QString archive = make(tool, dir.path(),
                                 {{QStringLiteral("FILE_ID.DIZ"), Diz},
                                  {QStringLiteral("GAME.TXT"), "named"},
                                  {QStringLiteral("docs/readme.doc"), "x"}},
                                 name);
    QCOMPARE(formats::formatName(formats::detect(archive)), format);
    LookupState state;
    const LookupResult found = ViewInfo(archive, lookup::plan(state, archive));
    QVERIFY(found.found);
    QCOMPARE(found.caption, QStringLiteral("file_id.diz"));
    QCOMPARE(found.bytes, Diz);
    QVERIFY(!found.readOnlyReason.isEmpty());
    state.down = ModeButton::Custom;
    state.customCaption = QStringLiteral("<filename>.txt");
    QCOMPARE(ViewInfo(archive, lookup::plan(state, archive)).bytes, QByteArray("named"));

    const QByteArray before = readFile(archive);
    QVERIFY(!Embed(archive, QStringLiteral("file_id.diz"), "new", '6').ok);
    QCOMPARE(readFile(archive), before);

    const catalog::Entry entry = catalog::readFile(archive.toUtf8(), catalog::Kind::Zip, {});
    QCOMPARE(entry.format, format);
    QCOMPARE(entry.description.value_or(QString()), QStringLiteral("Group presents\nA game"));
    QVERIFY(entry.members >= 3);

    ArchiveOps::ExtractRequest request;
    request.archive = archive;
    request.targetDir = dir.path() + QStringLiteral("/out");
    request.dFlag = true;
    request.names = ArchiveOps::getContents(archive).names;
    QVERIFY(ArchiveOps::unzipSelectedFiles(request).ok());
    QCOMPARE(readFile(request.targetDir + QStringLiteral("/docs/readme.doc")), QByteArray("x"));
    // Existing files are kept unless asked.
    writeFile(request.targetDir + QStringLiteral("/FILE_ID.DIZ"), "mine");
    QCOMPARE(ArchiveOps::unzipSelectedFiles(request).code, PK_WARN);
    QCOMPARE(readFile(request.targetDir + QStringLiteral("/FILE_ID.DIZ")), QByteArray("mine"));
}

void TestFormats::hostile_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("damage");
    for (const char *tool : {"lha", "arj", "7z", "tar"}) {
        for (const char *damage : {"truncated", "lying size", "path traversal"})
            if (tool != QLatin1String("7z") || damage != QLatin1String("lying size"))
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(tool, damage)))
                    << tool << damage;
    }
}

// Damaged archives end with a report, never with a file outside the target, a partial member
// under its name or a temporary file left behind.
void TestFormats::hostile()
{
    QFETCH(QString, tool);
    QFETCH(QString, damage);
    const QTemporaryDir dir;
    QByteArray big(200000, 'a');
    for (qsizetype i = 0; i < big.size(); i += 7)
        big[i] = char('a' + (i * 31) % 26);
    QString archive =
        make(tool, dir.path(),
             {{QStringLiteral("zz/evil.txt"), "evil"}, {QStringLiteral("big.dat"), big}});
    QByteArray bytes = readFile(archive);
    if (damage == QLatin1String("truncated")) {
        bytes.truncate(bytes.size() * 2 / 3);
    } else if (damage == QLatin1String("path traversal")) {
        bytes.replace("zz/evil", "../evil");
        bytes.replace("zz\\evil", "..\\evil");
        bytes.replace("zz\xFF", "..\xFF"); // LHA keeps the folder apart
        bytes.replace(QByteArray("z\0z\0/\0e", 7), QByteArray(".\0.\0/\0e", 7));
    } else {
        // The member's stored size, four bytes little-endian, made smaller.
        const QByteArray size("\x40\x0d\x03\x00", 4);
        QVERIFY(bytes.contains(size) || bytes.contains("0000606500"));
        bytes.replace(size, QByteArray("\x40\x0d\x02\x00", 4));
        bytes.replace("0000606500", "0000406500"); // tar's octal size field
    }
    QVERIFY(bytes != readFile(archive));
    writeFile(archive, bytes);
    LookupState state;
    state.down = ModeButton::Custom;
    state.customCaption = QStringLiteral("big.dat");
    const LookupResult found = ViewInfo(archive, lookup::plan(state, archive));
    QVERIFY(!found.found || found.bytes == big);

    ArchiveOps::ExtractRequest request;
    request.archive = archive;
    request.targetDir = dir.path() + QStringLiteral("/out/in");
    request.dFlag = true;
    request.names = QStringList{QStringLiteral("big.dat"), QStringLiteral("zz/evil.txt"),
                                QStringLiteral("../evil.txt"), QStringLiteral("..\\evil.txt")};
    ArchiveOps::unzipSelectedFiles(request);
    QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/out/evil.txt")));
    const QStringList left = QDir(request.targetDir).entryList(QDir::Files | QDir::Hidden);
    for (const QString &file : left)
        QVERIFY2(file == QLatin1String("evil.txt") ||
                     (file == QLatin1String("big.dat") &&
                      readFile(request.targetDir + QStringLiteral("/big.dat")) == big),
                 qPrintable(file));
}

// No folder on the way may be a link, and a link member is never written.
void TestFormats::confinement()
{
    const QTemporaryDir dir;
    const QString src = dir.path() + QStringLiteral("/src");
    QDir().mkpath(src + QStringLiteral("/sub"));
    writeFile(src + QStringLiteral("/sub/a.txt"), "a");
    QFile::link(QStringLiteral("/etc/passwd"), src + QStringLiteral("/link"));
    const QString archive = dir.path() + QStringLiteral("/t.tar");
    QCOMPARE(run(QStringLiteral("bsdtar"),
                 {QStringLiteral("-cf"), archive, QStringLiteral("sub"), QStringLiteral("link")},
                 nullptr, src),
             0);
    const QString outside = dir.path() + QStringLiteral("/outside");
    QDir().mkpath(outside);
    const QString target = dir.path() + QStringLiteral("/target");
    QDir().mkpath(target);
    QFile::link(outside, target + QStringLiteral("/sub"));
    formats::ExtractRequest request;
    request.archive = archive;
    request.format = formats::detect(archive);
    request.targetDir = target;
    request.withPaths = true;
    request.names = QStringList{QStringLiteral("sub/a.txt"), QStringLiteral("link")};
    const formats::ExtractReport report = formats::extract(request);
    QVERIFY(report.failed);
    QCOMPARE(report.problems.size(), 2);
    QVERIFY(QDir(outside).isEmpty());
    QVERIFY(!QFileInfo(target + QStringLiteral("/link")).exists());
}

// Without unar an ARJ archive says what is missing; a lookup finds nothing, silently.
void TestFormats::missingHelper()
{
    const QTemporaryDir dir;
    const QString archive = make(QStringLiteral("arj"), dir.path(), {{"FILE_ID.DIZ", Diz}});
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toUtf8());
    QStringList messages;
    const int code = ArchiveOps::listMembers(
        archive, [](const ListingEntry &) {}, messages);
    const LookupResult found = ViewInfo(archive, lookup::plan({}, archive));
    qputenv("PATH", path);
    QCOMPARE(code, PK_BADERR);
    QVERIFY2(messages.value(0).contains(QLatin1String("needs the program unar")),
             qPrintable(messages.value(0)));
    QVERIFY(!found.found);
}

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
