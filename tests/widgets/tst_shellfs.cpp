// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/filemask.h"
#include "widgets/shellfs.h"
#include "widgets/volumes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using volumes::Volume;

class TestShellFs : public QObject
{
    Q_OBJECT

private slots:
    void maskMatching_data();
    void maskMatching();
    void maskParsing_data();
    void maskParsing();
    void enumerateKindsAndFlags();
    void enumerateStopsWhenAsked();
    void enumerateMissingFolder();
    void resolveFolder_data();
    void resolveFolder();
    void placeArithmetic();
    void naturalOrder_data();
    void naturalOrder();
    void dataVolumes();
    void volumeComparison();
};

void TestShellFs::maskMatching_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("match");
    QTest::newRow("mp3 mask, upper-case name") << "*.mp3"
                                               << "Song.MP3" << true;
    QTest::newRow("zip mask, plain name") << "*.zip"
                                          << "a.zip" << true;
    QTest::newRow("zip mask, backup name") << "*.zip"
                                           << "a.zip.bak" << false;
    QTest::newRow("zip mask, name without dot") << "*.zip"
                                                << "zip" << false;
    QTest::newRow("zip mask backtracks past first .zip") << "*.zip"
                                                         << "a.zip.zip" << true;
    QTest::newRow("star-dot-star, name with dot") << "*.*"
                                                  << "readme.txt" << true;
    QTest::newRow("star-dot-star, name without dot") << "*.*"
                                                     << "README" << false;
    QTest::newRow("star, name with dot") << "*"
                                         << "readme.txt" << true;
    QTest::newRow("star, name without dot") << "*"
                                            << "README" << true;
    QTest::newRow("prefix then star") << "x*.zip"
                                      << "xa.zip" << true;
    QTest::newRow("prefix then star, wrong prefix") << "x*.zip"
                                                    << "ya.zip" << false;
    QTest::newRow("question mark inside") << "a?c"
                                          << "abc" << true;
    QTest::newRow("question mark at end") << "abc?"
                                          << "abcd" << true;
    QTest::newRow("question mark needs a character") << "abc?"
                                                     << "abc" << false;
    QTest::newRow("two stars") << "a*b*c"
                               << "axbyc" << true;
    QTest::newRow("two stars, needs backtracking") << "a*b*c"
                                                   << "aXbYbZc" << true;
    QTest::newRow("two stars, trailing text left") << "a*b*c"
                                                   << "axbycd" << false;
    QTest::newRow("no wildcard, equal ignoring case") << "FILE_ID.DIZ"
                                                      << "file_id.diz" << true;
    QTest::newRow("no wildcard, longer name") << "file"
                                              << "file.txt" << false;
    QTest::newRow("trailing star") << "read*"
                                   << "readme.txt" << true;
    QTest::newRow("star then question") << "*.?ip"
                                        << "game.zip" << true;
}

void TestShellFs::maskMatching()
{
    QFETCH(QString, mask);
    QFETCH(QString, name);
    QFETCH(bool, match);
    QCOMPARE(filemask::matches(mask, name), match);
}

void TestShellFs::maskParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("masks");
    QTest::newRow("two masks") << "*.zip;*.mp3" << QStringList{"*.zip", "*.mp3"};
    QTest::newRow("blanks, empty pieces, trailing separator")
        << "  ; *.txt ;" << QStringList{"*.txt"};
    QTest::newRow("empty text") << "" << QStringList{"*.*"};
    QTest::newRow("blank text") << "   " << QStringList{"*.*"};
    QTest::newRow("only separators") << ";;" << QStringList{"*.*"};
}

void TestShellFs::maskParsing()
{
    QFETCH(QString, text);
    QFETCH(QStringList, masks);
    QCOMPARE(filemask::parse(text), masks);
    QVERIFY(filemask::passes({}, QStringLiteral("anything")));
}

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}

struct Seen
{
    bool isDir;
    bool isLink;
    bool hidden;
    QString path;
};

QMap<QString, Seen> readAll(const QString &dir, int flags)
{
    QMap<QString, Seen> result;
    shellfs::enumerate(dir, flags, [&](const shellfs::Entry &e) {
        result.insert(e.name, {e.isDir, e.isLink, e.hidden, e.path});
        return true;
    });
    return result;
}

} // namespace

void TestShellFs::enumerateKindsAndFlags()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString root = tmp.path();
    QVERIFY(QDir(root).mkdir("folder"));
    QVERIFY(QDir(root).mkdir(".hiddenfolder"));
    touch(root + "/file.zip");
    touch(root + "/.hidden.zip");
    QVERIFY(QFile::link(root + "/folder", root + "/folderlink"));
    QVERIFY(QFile::link(root + "/file.zip", root + "/filelink"));
    QVERIFY(QFile::link(root + "/nowhere", root + "/brokenlink"));

    const auto all =
        readAll(root, shellfs::EnumFolders | shellfs::EnumNonFolders | shellfs::EnumHidden);
    QCOMPARE(all.keys(), (QStringList{".hidden.zip", ".hiddenfolder", "brokenlink", "file.zip",
                                      "filelink", "folder", "folderlink"}));
    QVERIFY(all["folder"].isDir && !all["folder"].isLink);
    QVERIFY(all["folderlink"].isDir && all["folderlink"].isLink);
    QVERIFY(!all["filelink"].isDir && all["filelink"].isLink);
    QVERIFY(!all["brokenlink"].isDir && all["brokenlink"].isLink);
    QVERIFY(!all["file.zip"].isDir);
    QVERIFY(all[".hiddenfolder"].hidden && !all["folder"].hidden);
    QCOMPARE(all["file.zip"].path, root + "/file.zip");

    QCOMPARE(readAll(root, shellfs::EnumFolders).keys(), (QStringList{"folder", "folderlink"}));
    QCOMPARE(readAll(root, shellfs::EnumNonFolders).keys(),
             (QStringList{"brokenlink", "file.zip", "filelink"}));
    QCOMPARE(readAll(root, shellfs::EnumFolders | shellfs::EnumHidden).keys(),
             (QStringList{".hiddenfolder", "folder", "folderlink"}));
}

void TestShellFs::enumerateStopsWhenAsked()
{
    QTemporaryDir tmp;
    for (int i = 0; i < 5; ++i)
        touch(tmp.filePath(QString("f%1").arg(i)));
    int delivered = 0;
    QVERIFY(shellfs::enumerate(tmp.path(), shellfs::EnumNonFolders, [&](const shellfs::Entry &) {
        ++delivered;
        return false;
    }));
    QCOMPARE(delivered, 1);
}

void TestShellFs::enumerateMissingFolder()
{
    QTemporaryDir tmp;
    int delivered = 0;
    QVERIFY(!shellfs::enumerate(tmp.filePath("missing"), shellfs::EnumFolders,
                                [&](const shellfs::Entry &) { return ++delivered, true; }));
    QCOMPARE(delivered, 0);
}

void TestShellFs::resolveFolder_data()
{
    QTest::addColumn<QString>("input");  // relative to the temporary folder, "" for none
    QTest::addColumn<QString>("result"); // relative to the temporary folder
    QTest::newRow("existing folder") << "a/b"
                                     << "a/b";
    QTest::newRow("trailing separator") << "a/b/"
                                        << "a/b";
    QTest::newRow("file resolves to its folder") << "a/b/file.zip"
                                                 << "a/b";
    QTest::newRow("missing folder resolves to nearest ancestor") << "a/b/x/y/z"
                                                                 << "a/b";
    QTest::newRow("dot-dot components are cleaned") << "a/b/../b/x"
                                                    << "a/b";
}

void TestShellFs::resolveFolder()
{
    QFETCH(QString, input);
    QFETCH(QString, result);
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkpath("a/b"));
    touch(tmp.filePath("a/b/file.zip"));
    QCOMPARE(shellfs::resolveFolder(tmp.filePath(input)), tmp.filePath(result));

    // A relative path is taken against the current folder.
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tmp.path()));
    const QString relative = shellfs::resolveFolder(input);
    QVERIFY(QDir::setCurrent(saved));
    QCOMPARE(relative, QDir(tmp.path()).canonicalPath() + "/" + result);
}

void TestShellFs::placeArithmetic()
{
    QVERIFY(shellfs::isUnder("/home/a", "/home"));
    QVERIFY(shellfs::isUnder("/home", "/home"));
    QVERIFY(!shellfs::isUnder("/homework", "/home"));
    QVERIFY(shellfs::isUnder("/anything", "/"));
    QCOMPARE(shellfs::componentsBelow("/home/a/b", "/home"), (QStringList{"a", "b"}));
    QCOMPARE(shellfs::componentsBelow("/usr/lib", "/"), (QStringList{"usr", "lib"}));
    QCOMPARE(shellfs::join("/", "usr"), QString("/usr"));
    QCOMPARE(shellfs::join("/usr", "lib"), QString("/usr/lib"));
    QVERIFY(shellfs::resolveFolder("   ").isEmpty());
}

void TestShellFs::naturalOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("sign");
    QTest::newRow("digits by value") << "file2"
                                     << "file10" << -1;
    QTest::newRow("case ignored") << "apple"
                                  << "Banana" << -1;
    QTest::newRow("case ignored, reversed") << "Banana"
                                            << "apple" << 1;
    QTest::newRow("prefix first") << "abc"
                                  << "abcd" << -1;
    QTest::newRow("equal") << "same.zip"
                           << "same.zip" << 0;
    QTest::newRow("leading zeros") << "track02"
                                   << "track10" << -1;
}

void TestShellFs::naturalOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, sign);
    const int r = shellfs::naturalCompare(a, b);
    QCOMPARE((r > 0) - (r < 0), sign);
    const int back = shellfs::naturalCompare(b, a);
    QCOMPARE((back > 0) - (back < 0), -sign);
}

namespace {

Volume vol(const QString &root, const QString &type, const QString &device = "dev",
           const QString &label = QString(), bool isDir = true)
{
    Volume v;
    v.rootPath = root;
    v.fsType = type;
    v.device = device;
    v.label = label;
    v.isDir = isDir;
    return v;
}

QStringList roots(const QList<Volume> &list)
{
    QStringList result;
    for (const Volume &v : list)
        result.append(v.rootPath);
    return result;
}

} // namespace

void TestShellFs::dataVolumes()
{
    const QList<Volume> all = {
        vol("/", "overlay"),
        vol("/proc", "proc"),
        vol("/sys", "sysfs"),
        vol("/sys/fs/cgroup", "cgroup2"),
        vol("/dev", "devtmpfs"),
        vol("/dev/pts", "devpts"),
        vol("/dev/shm", "tmpfs"),
        vol("/run", "tmpfs"),
        vol("/tmp", "tmpfs"),
        vol("/snap/core/123", "squashfs"),
        vol("/var/lib/docker/overlay2/x/merged", "overlay"),
        vol("/etc/hosts", "ext4", "/dev/sda1", "", false),
        vol("/run/user/1000/doc", "fuse.portal"),
        vol("/media/usb", "vfat", "/dev/sdb1", "STICK"),
        vol("/run/media/me/disk", "ext4", "/dev/sdc1"),
        vol("/boot/efi", "vfat", "/dev/sda2"),
        vol("/home", "ext4", "/dev/sda3"),
        vol("/media/usb", "exfat", "/dev/sdd1", "OTHER"),
    };
    const QList<Volume> data = volumes::dataVolumes(all);
    QCOMPARE(roots(data), (QStringList{"/boot/efi", "/home", "/media/usb", "/run/media/me/disk"}));
    // The later mount over the same point wins.
    QCOMPARE(data.at(2).label, QString("OTHER"));
    QCOMPARE(volumes::displayName(data.at(2)), QString("OTHER"));
    QCOMPARE(volumes::displayName(data.at(1)), QString("/home"));
}

void TestShellFs::volumeComparison()
{
    const QList<Volume> before = {vol("/home", "ext4", "/dev/sda3"),
                                  vol("/media/usb", "vfat", "/dev/sdb1", "STICK"),
                                  vol("/media/cd", "iso9660", "/dev/sr0", "DISC1")};
    const QList<Volume> after = {vol("/home", "ext4", "/dev/sda3"),
                                 vol("/media/cd", "iso9660", "/dev/sr0", "DISC2"),
                                 vol("/media/new", "ext4", "/dev/sdc1")};
    const volumes::Changes changes = volumes::compare(before, after);
    QCOMPARE(roots(changes.added), QStringList{"/media/new"});
    QCOMPARE(roots(changes.removed), QStringList{"/media/usb"});
    QCOMPARE(roots(changes.changed), QStringList{"/media/cd"});
    QCOMPARE(changes.changed.first().label, QString("DISC2"));
    QVERIFY(!changes.isEmpty());
    QVERIFY(volumes::compare(after, after).isEmpty());
    QCOMPARE(roots(volumes::compare({}, after).added), roots(after));
    QCOMPARE(roots(volumes::compare(before, {}).removed), roots(before));
}

QTEST_GUILESS_MAIN(TestShellFs)
#include "tst_shellfs.moc"
