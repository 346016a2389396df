// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/fileerror.h"
#include "description/cp437.h"
#include "description/embed.h"
#include "description/lookup.h"
#include "tests/support/testsupport.h"
#include "zipengine/enginetext.h"
#include "zipengine/records.h"
#include "zipengine/zipengine.h"

#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

Q_DECLARE_METATYPE(ModeButton)

class TestDescription : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(loadEngine()); }

    void namesTried_data();
    void namesTried();
    void customExpansion_data();
    void customExpansion();
    void cp437RoundTrip();
    void cp437Unencodable();
    void lookupThroughEngine_data();
    void lookupThroughEngine();
    void lookupShowsBytesAsStored();
    void damagedArchivesAreNotFound_data();
    void damagedArchivesAreNotFound();
    void hugeMemberIsCutAndMarked();
    void saveOptionsRecord();
    void saveReplacesMemberKeepingOthers();
    void saveKeepsStoredLetterCase();
    void saveWithFolderInNameCannotCreate();
    void severalMembersAnswerOneName_data();
    void severalMembersAnswerOneName();
    void saveKeepsUserOptions();
    void crLfConversion();
};

void TestDescription::namesTried_data()
{
    QTest::addColumn<ModeButton>("down");
    QTest::addColumn<QString>("customCaption");
    QTest::addColumn<QStringList>("customList");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("notFound");

    const QString all = QStringLiteral("all custom files");
    const QStringList list{QStringLiteral("<filename>.nfo"), QStringLiteral("info.txt")};
    QTest::newRow("auto with all custom names")
        << ModeButton::Auto << all << list << QStringLiteral("/x/my.setup.zip")
        << QStringList{"file_id.diz", "readme.txt", "my.setup.txt", "my.nfo", "info.txt"}
        << QStringLiteral("file_id.diz");
    QTest::newRow("auto after one custom entry was chosen")
        << ModeButton::Auto << QStringLiteral("info.txt") << list << QStringLiteral("/x/GAME.ZIP")
        << QStringList{"file_id.diz", "readme.txt", "GAME.txt", "info.txt"}
        << QStringLiteral("file_id.diz");
    QTest::newRow("auto with an empty list")
        << ModeButton::Auto << all << QStringList() << QStringLiteral("GAME.ZIP")
        << QStringList{"file_id.diz", "readme.txt", "GAME.txt"} << QStringLiteral("file_id.diz");
    QTest::newRow("file_id.diz only")
        << ModeButton::FileId << all << list << QStringLiteral("/a/GAME.ZIP")
        << QStringList{"file_id.diz"} << QStringLiteral("file_id.diz");
    QTest::newRow("readme.txt only")
        << ModeButton::Readme << all << list << QStringLiteral("/a/GAME.ZIP")
        << QStringList{"readme.txt"} << QStringLiteral("readme.txt");
    QTest::newRow("archive-named text")
        << ModeButton::Filename << all << list << QStringLiteral("/a/GAME.ZIP")
        << QStringList{"GAME.txt"} << QStringLiteral("GAME.txt");
    QTest::newRow("all custom, last name is the caption")
        << ModeButton::Custom << all << list << QStringLiteral("/a/GAME.ZIP")
        << QStringList{"GAME.nfo", "info.txt"} << QStringLiteral("info.txt");
    QTest::newRow("one custom entry")
        << ModeButton::Custom << QStringLiteral("<filename>.nfo") << list
        << QStringLiteral("/a/GAME.ZIP") << QStringList{"GAME.nfo"} << QStringLiteral("GAME.nfo");
    QTest::newRow("all custom over an empty list")
        << ModeButton::Custom << all << QStringList() << QStringLiteral("/a/GAME.ZIP")
        << QStringList() << QStringLiteral("file_id.diz");
}

void TestDescription::namesTried()
{
    QFETCH(ModeButton, down);
    QFETCH(QString, customCaption);
    QFETCH(QStringList, customList);
    QFETCH(QString, archive);
    QFETCH(QStringList, names);
    QFETCH(QString, notFound);
    LookupState state{down, customCaption, QStringLiteral("all custom files"), customList};
    const LookupPlan plan = lookup::plan(state, archive);
    QCOMPARE(plan.names, names);
    QCOMPARE(plan.notFoundCaption, notFound);
}

void TestDescription::customExpansion_data()
{
    QTest::addColumn<QString>("custom");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("expanded");
    QTest::newRow("token with extension") << "<filename>.nfo"
                                          << "GAME.ZIP"
                                          << "GAME.nfo";
    QTest::newRow("archive name with two dots") << "<filename>.nfo"
                                                << "my.setup.zip"
                                                << "my.nfo";
    QTest::newRow("text before the first dot is dropped") << "info_<filename>.txt"
                                                          << "GAME.ZIP"
                                                          << "GAME.txt";
    QTest::newRow("no token: unchanged") << "info.txt"
                                         << "GAME.ZIP"
                                         << "info.txt";
    QTest::newRow("token is case-sensitive") << "<FILENAME>.nfo"
                                             << "GAME.ZIP"
                                             << "<FILENAME>.nfo";
    QTest::newRow("archive without a dot") << "<filename>.nfo"
                                           << "GAME"
                                           << "nfo";
    QTest::newRow("custom name without a dot") << "<filename>"
                                               << "GAME.ZIP"
                                               << "GAME.<filename>";
}

void TestDescription::customExpansion()
{
    QFETCH(QString, custom);
    QFETCH(QString, archive);
    QFETCH(QString, expanded);
    QCOMPARE(lookup::expandCustomName(custom, archive), expanded);
}

void TestDescription::cp437RoundTrip()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        if (b != '\n' && b != '\r')
            all.append(static_cast<char>(b));
    const QByteArray text = "Line one\r\n" + all + "\r\nlone CR\rend\r\n";
    QCOMPARE(cp437::encode(cp437::decode(text)).bytes, text);
    QCOMPARE(cp437::decode("\xC9\xCD\xBB"), QStringLiteral("╔═╗"));
    // A lone LF is a line break, written back as CR LF.
    QCOMPARE(cp437::encode(cp437::decode("a\nb")).bytes, QByteArray("a\r\nb"));
    QCOMPARE(cp437::decode("a\r\nb\rc"), QStringLiteral("a\nb♪c"));
}

void TestDescription::cp437Unencodable()
{
    const cp437::Encoded e = cp437::encode(QStringLiteral("Grüße € and € ✓"));
    QCOMPARE(e.unencodable, QStringLiteral("€✓"));
    QVERIFY(e.bytes.startsWith("Gr\x81\xE1"
                               "e"));
}

void TestDescription::lookupThroughEngine_data()
{
    QTest::addColumn<QString>("archiveName");
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<ModeButton>("down");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QByteArray>("shown");

    QTest::newRow("upper-case FILE_ID.DIZ")
        << "GAME.ZIP" << QStringList{"FILE_ID.DIZ"} << ModeButton::Auto << "file_id.diz"
        << QByteArray("content of FILE_ID.DIZ");
    QTest::newRow("file_id.diz wins over readme.txt")
        << "GAME.ZIP" << QStringList{"readme.txt", "file_id.diz"} << ModeButton::Auto
        << "file_id.diz" << QByteArray("content of file_id.diz");
    QTest::newRow("readme.txt before the archive-named text")
        << "GAME.ZIP" << QStringList{"GAME.txt", "readme.txt"} << ModeButton::Auto << "readme.txt"
        << QByteArray("content of readme.txt");
    QTest::newRow("archive-named text found case-insensitively")
        << "GAME.ZIP" << QStringList{"GAME.TXT"} << ModeButton::Auto << "GAME.txt"
        << QByteArray("content of GAME.TXT");
    QTest::newRow("nothing found under auto") << "GAME.ZIP" << QStringList{"other.txt"}
                                              << ModeButton::Auto << "file_id.diz" << QByteArray();
    QTest::newRow("nothing found under readme")
        << "GAME.ZIP" << QStringList{"file_id.diz"} << ModeButton::Readme << "readme.txt"
        << QByteArray();
    QTest::newRow("custom names, second found")
        << "my.setup.zip" << QStringList{"info.txt"} << ModeButton::Custom << "info.txt"
        << QByteArray("content of info.txt");
    QTest::newRow("member in a folder is not a description")
        << "GAME.ZIP" << QStringList{"docs/file_id.diz"} << ModeButton::Auto << "file_id.diz"
        << QByteArray();
}

void TestDescription::lookupThroughEngine()
{
    QFETCH(QString, archiveName);
    QFETCH(QStringList, members);
    QFETCH(ModeButton, down);
    QFETCH(QString, caption);
    QFETCH(QByteArray, shown);
    QTemporaryDir dir;
    const QString archive = dir.filePath(archiveName);
    QList<Member> list;
    for (const QString &m : members)
        list << Member{m, "content of " + m.toUtf8()};
    makeZip(archive, list);
    const QString all = QStringLiteral("all custom files");
    LookupState state{
        down, all, all, {QStringLiteral("<filename>.nfo"), QStringLiteral("info.txt")}};
    const LookupResult result = ViewInfo(archive, lookup::plan(state, archive));
    QCOMPARE(result.caption, caption);
    QCOMPARE(result.found, !shown.isEmpty());
    QCOMPARE(result.bytes, shown);
}

void TestDescription::lookupShowsBytesAsStored()
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("ART.ZIP"));
    QByteArray art;
    for (int b = 1; b < 256; ++b)
        art.append(static_cast<char>(b));
    art += "\r\n\xDB\xDB\xB2\xB1\xB0 no line break added at the end";
    // Info-ZIP's zip as an independent producer, with a large member to cross delivery pieces.
    const QByteArray big = QByteArray("0123456789abcdef\r\n").repeated(20000);
    writeFile(dir.filePath(QStringLiteral("FILE_ID.DIZ")), art);
    writeFile(dir.filePath(QStringLiteral("README.TXT")), big);
    QCOMPARE(run(QStringLiteral("zip"), {"-q", "-X", archive, "FILE_ID.DIZ", "README.TXT"}, nullptr,
                 dir.path()),
             0);
    LookupState state{ModeButton::Auto, QString(), QString(), {}};
    LookupResult result = ViewInfo(archive, lookup::plan(state, archive));
    QCOMPARE(result.bytes, art);
    state.down = ModeButton::Readme;
    result = ViewInfo(archive, lookup::plan(state, archive));
    QCOMPARE(result.bytes.size(), big.size());
    QCOMPARE(result.bytes, big);
    QVERIFY(!result.truncated);
}

void TestDescription::damagedArchivesAreNotFound_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("not an archive") << QByteArray("not");
    QTest::newRow("truncated") << QByteArray("truncate");
    QTest::newRow("missing") << QByteArray("missing");
    QTest::newRow("crc error") << QByteArray("crc");
    QTest::newRow("encrypted") << QByteArray("encrypted");
}

void TestDescription::damagedArchivesAreNotFound()
{
    QFETCH(QByteArray, damage);
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("BAD.ZIP"));
    const QByteArray text = QByteArray("a description that is long enough to find in the file");
    if (damage == "encrypted") {
        writeFile(dir.filePath(QStringLiteral("file_id.diz")), text);
        QCOMPARE(run(QStringLiteral("zip"), {"-q", "-P", "secret", archive, "file_id.diz"}, nullptr,
                     dir.path()),
                 0);
    } else {
        makeZip(archive, {{QStringLiteral("file_id.diz"), text}}, false);
        QByteArray bytes = readFile(archive);
        if (damage == "not")
            bytes = "This is plain text, not an archive at all.";
        else if (damage == "truncate")
            bytes.chop(30);
        else if (damage == "crc")
            bytes[bytes.indexOf("long")] = 'L';
        writeFile(archive, bytes);
        if (damage == "missing")
            QFile::remove(archive);
    }
    LookupState state{ModeButton::Auto, QString(), QString(), {}};
    const LookupResult result = ViewInfo(archive, lookup::plan(state, archive));
    QVERIFY(!result.found);
    QVERIFY(result.bytes.isEmpty());
    QCOMPARE(result.caption, QStringLiteral("file_id.diz"));
}

void TestDescription::hugeMemberIsCutAndMarked()
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("BIG.ZIP"));
    QCOMPARE(
        python(QStringLiteral("import sys, zipfile\n"
                              "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                              "    z.writestr('file_id.diz', b'x' * int(sys.argv[2]))\n"),
               {archive, QString::number(DescriptionLimit + 100000)}),
        0);
    LookupState state{ModeButton::Auto, QString(), QString(), {}};
    const LookupResult result = ViewInfo(archive, lookup::plan(state, archive));
    QVERIFY(result.found);
    QVERIFY(result.truncated);
    QCOMPARE(result.bytes.size(), DescriptionLimit);
    QCOMPARE(result.caption, QStringLiteral("file_id.diz"));
}

void TestDescription::saveOptionsRecord()
{
    const ZPOPT o = descriptionSaveOptions('9');
    QCOMPARE(o.fExtra, -1);
    QCOMPARE(o.fJunkDir, -1);
    QCOMPARE(o.fGrow, -1);
    QCOMPARE(o.fLevel, '9');
    QCOMPARE(o.fRecurse, 0);
    QCOMPARE(o.fUpdate | o.fFreshen | o.fMove | o.fDeleteEntries | o.fSystem, 0);
    QCOMPARE(descriptionSaveOptions(0).fLevel, '6');
}

void TestDescription::saveReplacesMemberKeepingOthers()
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("GAME.ZIP"));
    const QByteArray other = QByteArray("binary \x00\x01\x02 data", 18).repeated(1000);
    makeZip(archive,
            {{QStringLiteral("game.exe"), other}, {QStringLiteral("file_id.diz"), "old text\r\n"}});
    const QByteArray typed = cp437::encode(QStringLiteral("New ╔═╗ text\nsecond line")).bytes;
    const SaveOutcome outcome = Embed(archive, QStringLiteral("file_id.diz"), typed, '9');
    QVERIFY2(outcome.ok, qPrintable(outcome.message));
    QCOMPARE(readMember(archive, QStringLiteral("file_id.diz")),
             QByteArray("New \xC9\xCD\xBB text\r\nsecond line"));
    QCOMPARE(readMember(archive, QStringLiteral("game.exe")), other);
    QCOMPARE(run(QStringLiteral("unzip"), {"-tq", archive}), 0);
}

void TestDescription::saveKeepsStoredLetterCase()
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("GAME.ZIP"));
    makeZip(archive, {{QStringLiteral("FILE_ID.DIZ"), "old"}});
    const SaveOutcome outcome = Embed(archive, QStringLiteral("file_id.diz"), "new", '6');
    QVERIFY2(outcome.ok, qPrintable(outcome.message));
    QCOMPARE(memberNames(archive), QStringList{QStringLiteral("FILE_ID.DIZ")});
    QCOMPARE(readMember(archive, QStringLiteral("FILE_ID.DIZ")), QByteArray("new"));
}

void TestDescription::saveWithFolderInNameCannotCreate()
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("GAME.ZIP"));
    makeZip(archive, {{QStringLiteral("a.txt"), "a"}});
    const QByteArray before = readFile(archive);
    const SaveOutcome outcome = Embed(archive, QStringLiteral("missing/x.nfo"), "text", '6');
    QVERIFY(!outcome.ok && outcome.message.endsWith("a folder: missing/x.nfo"));
    QCOMPARE(readFile(archive), before);
}

void TestDescription::severalMembersAnswerOneName_data()
{
    QTest::addColumn<QStringList>("names"); // member i holds the text "text i"
    QTest::addColumn<int>("answering");
    QTest::newRow("exact name after a case variant")
        << QStringList{"FILE_ID.DIZ", "file_id.diz"} << 1;
    QTest::newRow("exact duplicates") << QStringList{"file_id.diz", "file_id.diz"} << 0;
    QTest::newRow("case variants only")
        << QStringList{"File_Id.Diz", "readme.txt", "FILE_ID.DIZ"} << 0;
    QTest::newRow("dotted capital I folds to i") << QStringList{QStringLiteral("FİLE_ID.DIZ")} << 0;
}

// View, save unedited, view again: the same member answers with the same bytes, and the
// archive keeps its members in their order.
void TestDescription::severalMembersAnswerOneName()
{
    QFETCH(QStringList, names);
    QFETCH(int, answering);
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("GAME.ZIP"));
    QList<Member> members;
    for (qsizetype i = 0; i < names.size(); ++i)
        members.append({names[i], "text " + QByteArray::number(i) + "\r\n"});
    makeZip(archive, members, answering == 0);
    const QStringList before = memberNames(archive);
    const LookupState state{ModeButton::FileId, QString(), QString(), {}};
    const LookupResult first = ViewInfo(archive, lookup::plan(state, archive));
    QCOMPARE(first.bytes, members[answering].data);
    QCOMPARE(answeringMemberName(archive, first.caption), members[answering].name);
    for (int round = 0; round < 2; ++round) {
        const SaveOutcome saved = Embed(archive, first.caption, first.bytes, '6');
        QVERIFY2(saved.ok, qPrintable(saved.message));
        QCOMPARE(ViewInfo(archive, lookup::plan(state, archive)).bytes, first.bytes);
        QCOMPARE(memberNames(archive), before);
    }
}

void TestDescription::saveKeepsUserOptions()
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("GAME.ZIP"));
    makeZip(archive, {{QStringLiteral("a.txt"), "a"}});
    ZPOPT user = {};
    user.fRecurse = 1;
    user.fLevel = '3';
    user.fUpdate = -1;
    QVERIFY(ZipEngine::ZpSetOptions(&user));
    const SaveOutcome saved = Embed(archive, QStringLiteral("file_id.diz"), "text", '9');
    QVERIFY2(saved.ok, qPrintable(saved.message));
    const ZPOPT after = ZipEngine::ZpGetOptions();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&after), sizeof after),
             QByteArray(reinterpret_cast<const char *>(&user), sizeof user));
    // A level that is no ASCII digit is refused, never saved at another level.
    const QByteArray archiveBefore = readFile(archive);
    const SaveOutcome refused = Embed(archive, QStringLiteral("file_id.diz"), "text",
                                      levelCharacter(QString(QChar(0x0663))));
    QCOMPARE(refused.message, QStringLiteral("Error setting Zip Options"));
    QCOMPARE(readFile(archive), archiveBefore);
}

void TestDescription::crLfConversion()
{
    QCOMPARE(withCrLf("a\nb\r\nc\n"), QByteArray("a\r\nb\r\nc\r\n"));
    QCOMPARE(withCrLf("\n"), QByteArray("\r\n"));
    QCOMPARE(withCrLf("no break"), QByteArray("no break"));
}

QTEST_GUILESS_MAIN(TestDescription)
#include "tst_description.moc"
