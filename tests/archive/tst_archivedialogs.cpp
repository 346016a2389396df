// SPDX-License-Identifier: GPL-3.0-or-later
// The extraction dialog, the wait window, the zip options dialog and the packer page, driven
// offscreen with real clicks and keys.

#include "archive/packpage.h"
#include "archive/unzipdialog.h"
#include "archive/waitwindow.h"
#include "archive/zipoptdialog.h"
#include "archivefixtures.h"
#include "tests/support/testsupport.h"
#include "widgets/shelltree.h"
#include "zipengine/zipengine.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

template <typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qWarning("no child %s", name);
    return widget;
}

void click(QWidget *parent, const char *name)
{
    QAbstractButton *button = child<QAbstractButton>(parent, name);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

// A drop of local files from another program, as a file manager would send it.
void dropFiles(QListWidget *list, const QStringList &paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &drop);
}

// Counts the events of one type that reach a widget.
class EventCounter : public QObject
{
public:
    EventCounter(QObject *target, QEvent::Type type, int &count) : m_type(type), m_count(count)
    {
        target->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            ++m_count;
        return false;
    }

private:
    QEvent::Type m_type;
    int &m_count;
};

} // namespace

class TestArchiveDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(testsupport::loadEngine()); }
    void init() { QVERIFY(ArchiveOps::setZipOptions(ArchiveOps::defaultZipOptions())); }

    void unzipShowListsTheSelectedArchive();
    void unzipOptionsButtonWidths();
    void unzipSaysWhenArchiveCannotBeRead_data();
    void unzipSaysWhenArchiveCannotBeRead();
    void unzipOnlySelected();
    void unzipReportsSkippedMembers();
    void waitWindowCancel();
    void largeFilePackStaysAlive();
    void zipOptionsReset();
    void zipOptionsLevelBox_data();
    void zipOptionsLevelBox();
    void zipOptionsUpDown();
    void packerDropAndDelete();
    void packerSaveDialog();
    void packerChoosesExistingArchive();
    void packerKeyboardFill_data();
    void packerKeyboardFill();
    void packerZipWithOptions();
    void packerReportsFailure();
};

void TestArchiveDialogs::unzipShowListsTheSelectedArchive()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.zip"));
    const QString second = dir.filePath(QStringLiteral("second one.zip"));
    QVERIFY(makeDatedZip(first, {{QStringLiteral("a.txt"), 1}, {QStringLiteral("b/c.txt"), 2}}));
    QVERIFY(makeDatedZip(second, {{QStringLiteral("only.txt"), 12345678}}));
    TFrmWaitZip wait;
    TFrmUnzip dialog(&wait);
    QString path = first;
    dialog.setArchivePathSource([&] { return path; });
    auto *list = child<QListView>(&dialog, "FilesList");
    QVERIFY(list);

    dialog.show();
    dialog.waitForListing();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Decompressing ") + first);
    QCOMPARE(list->model()->rowCount(), 2);
    QCOMPARE(dialog.memberNames(), (QStringList{"a.txt", "b/c.txt"}));
    QVERIFY(list->model()->index(1, 0).data().toString().endsWith(QLatin1String("  b/c.txt")));
    QCOMPARE(child<QLineEdit>(&dialog, "T_Dir")->text(),
             child<TShellTree>(&dialog, "FolderTree")->path());

    dialog.hide();
    path = second;
    dialog.show();
    dialog.waitForListing();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Decompressing ") + second);
    QCOMPARE(list->model()->rowCount(), 1);
    QVERIFY(list->model()->index(0, 0).data().toString().trimmed().startsWith(
        QLatin1String("12345678  ")));

    // A size head wider than the field: the date head still stands over the dates.
    child<QLabel>(&dialog, "Label2")->setText(QStringLiteral("Dimensione(byte)"));
    dialog.hide();
    dialog.show();
    dialog.waitForListing();
    QCoreApplication::sendPostedEvents(); // the layout's pending request
    const QString line = list->model()->index(0, 0).data().toString();
    const int dateX = list->viewport()->mapTo(&dialog, QPoint(0, 0)).x() +
                      list->fontMetrics().horizontalAdvance(line.left(line.indexOf('-') - 2));
    const int headX = child<QLabel>(&dialog, "Label3")->mapTo(&dialog, QPoint(0, 0)).x();
    QVERIFY2(qAbs(headX - dateX) <= list->fontMetrics().horizontalAdvance('0'),
             qPrintable(QStringLiteral("%1 %2").arg(headX).arg(dateX)));

    // Closed, the listing's memory goes; shown with nothing selected, it lists the archive
    // listed last and its title says so.
    dialog.hide();
    QCOMPARE(list->model()->rowCount(), 0);
    path.clear();
    dialog.show();
    dialog.waitForListing();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Decompressing ") + second);
    QCOMPARE(list->model()->rowCount(), 1);

    // A folder typed into the field is the one the folder tree shows.
    auto *field = child<QLineEdit>(&dialog, "T_Dir");
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    field->setFocus();
    field->setText(dir.path());
    QTest::keyClick(field, Qt::Key_Tab);
    QCOMPARE(child<TShellTree>(&dialog, "FolderTree")->path(), dir.path());
}

void TestArchiveDialogs::unzipOptionsButtonWidths()
{
    TFrmWaitZip wait;
    TFrmUnzip dialog(&wait);
    dialog.show();
    QCOMPARE(dialog.width(), 407);
    QCOMPARE(dialog.height(), 421);
    click(&dialog, "B_Options");
    // Wider when the style draws the option frame's title wider than designed.
    QVERIFY(dialog.width() >= 631);
    QVERIFY(child<QWidget>(&dialog, "FolderTree")->mapTo(&dialog, QPoint()).x() > 401);
    click(&dialog, "B_Options");
    QCOMPARE(dialog.width(), 407);
    click(&dialog, "B_Options");
    dialog.hide();
    dialog.show(); // every showing collapses the dialog
    QCOMPARE(dialog.width(), 407);
    QVERIFY(!child<QPushButton>(&dialog, "B_Options")->isChecked());
}

void TestArchiveDialogs::unzipSaysWhenArchiveCannotBeRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray() << "no such file";
    QTest::newRow("not an archive")
        << QByteArray("just some text, no zip at all") << "not a zip archive";
}

void TestArchiveDialogs::unzipSaysWhenArchiveCannotBeRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("broken.zip"));
    if (!bytes.isEmpty())
        writeFile(zip, bytes);
    testsupport::ScriptedPrompter prompter;
    TFrmWaitZip wait;
    TFrmUnzip dialog(&wait);
    dialog.setArchivePathSource([&] { return zip; });
    dialog.show();
    dialog.waitForListing();
    QCOMPARE(prompter.messages,
             QStringList{QStringLiteral("The archive %1 cannot be read: %2.").arg(zip, reason)});
}

void TestArchiveDialogs::unzipOnlySelected()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("a.zip"));
    QVERIFY(makeDatedZip(zip, {{QStringLiteral("one.txt"), 1},
                               {QStringLiteral("two.txt"), 2},
                               {QStringLiteral("three.txt"), 3}}));
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    testsupport::ScriptedPrompter prompter;
    TFrmWaitZip wait;
    TFrmUnzip dialog(&wait);
    dialog.setArchivePathSource([&] { return zip; });
    dialog.show();
    dialog.waitForListing();
    child<QLineEdit>(&dialog, "T_Dir")->setText(out);
    click(&dialog, "R_sel");

    // Nothing selected: no engine call at all (an empty include list would mean everything).
    click(&dialog, "B_Unzip");
    QVERIFY(dialog.selectedNames().isEmpty());
    QVERIFY(filesBelow(out).isEmpty());
    QVERIFY(prompter.messages.isEmpty());

    auto *list = child<QListView>(&dialog, "FilesList");
    const QRect row = list->visualRect(list->model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    click(&dialog, "B_Unzip");
    QCOMPARE(dialog.selectedNames(), QStringList{QStringLiteral("two.txt")});
    QCOMPARE(filesBelow(out), QStringList{QStringLiteral("two.txt")});
    QVERIFY(prompter.messages.isEmpty());
    QVERIFY(!wait.isVisible());

    click(&dialog, "R_all");
    QVERIFY(child<QRadioButton>(&dialog, "R_all")->isChecked());
    click(&dialog, "chOFlag");
    QVERIFY(child<QCheckBox>(&dialog, "chOFlag")->isChecked());
    click(&dialog, "B_Unzip");
    QCOMPARE(filesBelow(out), (QStringList{"one.txt", "three.txt", "two.txt"}));
    QVERIFY2(prompter.messages.isEmpty(), qPrintable(prompter.messages.join('\n')));
}

void TestArchiveDialogs::unzipReportsSkippedMembers()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("a.zip"));
    testsupport::makeZip(zip, {{QStringLiteral("keep.txt"), "new"}, {"other.txt", "o"}});
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    writeFile(out + QStringLiteral("/keep.txt"), "mine");
    testsupport::ScriptedPrompter prompter;
    TFrmWaitZip wait;
    TFrmUnzip dialog(&wait);
    dialog.setArchivePathSource([&] { return zip; });
    dialog.show();
    dialog.waitForListing();
    child<QLineEdit>(&dialog, "T_Dir")->setText(out);
    click(&dialog, "B_Unzip");
    QCOMPARE(prompter.messages.size(), 1);
    QVERIFY2(prompter.messages.first().contains(QLatin1String("1 problem")) &&
                 prompter.messages.first().contains(QLatin1String("keep.txt")),
             qPrintable(prompter.messages.first()));
    QCOMPARE(readFile(out + QStringLiteral("/keep.txt")), QByteArray("mine"));
    QCOMPARE(readFile(out + QStringLiteral("/other.txt")), QByteArray("o"));
    QVERIFY(dialog.isVisible());
}

void TestArchiveDialogs::waitWindowCancel()
{
    TFrmWaitZip wait;
    wait.start();
    QVERIFY(wait.isVisible());
    QCOMPARE(wait.windowTitle(), QStringLiteral("Processing, please wait..."));
    QVERIFY(wait.progress(QStringLiteral("first"), 0, 3));
    click(&wait, "B_Cancel");
    QVERIFY(!wait.progress(QStringLiteral("second"), 1, 3));
    wait.stop();
    QVERIFY(!wait.isVisible());
    wait.start(); // a new run starts uncancelled
    QVERIFY(wait.progress(QStringLiteral("again"), 0, -1));
    wait.stop();
}

// Packing one large file: the wait window keeps painting the file's progress, a click on
// Cancel half-way through leaves the archive as it was, and keys typed next reach the page.
void TestArchiveDialogs::largeFilePackStaysAlive()
{
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.bin"));
    QVERIFY(makeLargeFile(big, 32));
    const QString zip = dir.filePath(QStringLiteral("keep.zip"));
    testsupport::makeZip(zip, {{QStringLiteral("old.txt"), "old"}});
    const QByteArray before = readFile(zip);
    testsupport::ScriptedPrompter prompter;
    TFrmWaitZip wait;
    TPackPage page(&wait, nullptr);
    page.show();
    page.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    dropFiles(child<QListWidget>(&page, "ListaZip"), {big});
    auto *name = child<QLineEdit>(&page, "edtZipFileName");
    name->setText(zip);

    auto *bar = child<QProgressBar>(&wait, "MemberBar");
    QVERIFY(bar);
    int paints = 0;
    int partial = -1;
    EventCounter counter(bar, QEvent::Paint, paints);
    QTimer watch;
    watch.setInterval(5);
    connect(&watch, &QTimer::timeout, [&] {
        if (partial < 0 && paints > 0 && bar->value() > 0 && bar->value() < bar->maximum()) {
            partial = bar->value();
            click(&wait, "B_Cancel");
        }
    });
    watch.start();
    click(&page, "B_ZipThem");
    watch.stop();
    QVERIFY2(partial > 0, "no progress painted inside the file");
    QVERIFY(!wait.isVisible());
    QCOMPARE(readFile(zip), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"big.bin", "keep.zip"}));
    QVERIFY(prompter.messages.isEmpty());

    QTRY_COMPARE(QGuiApplication::focusWindow(), page.windowHandle());
    name->clear();
    QTest::mouseClick(name, Qt::LeftButton);
    for (const char key : QByteArray("new"))
        QTest::keyClick(QGuiApplication::focusWindow(), key);
    QCOMPARE(name->text(), QStringLiteral("new"));
}

void TestArchiveDialogs::zipOptionsReset()
{
    ZPOPT held = ArchiveOps::defaultZipOptions();
    held.fJunkDir = -1;
    held.fRecurse = 0;
    held.fGrow = 0;
    held.fLevel = '3';
    QVERIFY(ArchiveOps::setZipOptions(held));
    TFrmZipOpt dialog;
    dialog.Get_ZipDllOptions();
    dialog.show();
    QVERIFY(child<QCheckBox>(&dialog, "chJunkDir")->isChecked());
    QCOMPARE(dialog.levelText(), QStringLiteral("3"));

    click(&dialog, "B_ZipDefault");
    QVERIFY(dialog.isVisible());
    QVERIFY(!child<QCheckBox>(&dialog, "chJunkDir")->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, "chRecurseDir")->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, "chGrow")->isChecked());
    QCOMPARE(child<QLineEdit>(&dialog, "edtLevel")->text(), QStringLiteral("6"));
    // The defaults are in the engine at once; closing without saving does not undo them.
    click(&dialog, "B_Close");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(ZipEngine::ZpGetOptions().fJunkDir, 0);
    QCOMPARE(ZipEngine::ZpGetOptions().fLevel, '6');
}

void TestArchiveDialogs::zipOptionsLevelBox_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<char>("held");
    QTest::addColumn<bool>("refused");
    QTest::newRow("empty box stores 6") << "" << '6' << false;
    QTest::newRow("12 stores 1") << "12" << '1' << false;
    QTest::newRow("x is refused, engine keeps 4") << "x" << '4' << true;
}

void TestArchiveDialogs::zipOptionsLevelBox()
{
    QFETCH(QString, typed);
    QFETCH(char, held);
    QFETCH(bool, refused);
    ZPOPT start = ArchiveOps::defaultZipOptions();
    start.fLevel = '4';
    QVERIFY(ArchiveOps::setZipOptions(start));
    testsupport::ScriptedPrompter prompter;
    TFrmZipOpt dialog;
    dialog.Get_ZipDllOptions();
    dialog.show();
    auto *level = child<QLineEdit>(&dialog, "edtLevel");
    level->selectAll();
    QTest::keyClick(level, Qt::Key_Backspace);
    QTest::keyClicks(level, typed);
    QCOMPARE(dialog.levelText(), typed);
    click(&dialog, "chUpdate");
    click(&dialog, "B_SetZipOpt");
    QVERIFY(!dialog.isVisible()); // hidden also after a refusal
    QCOMPARE(ZipEngine::ZpGetOptions().fLevel, held);
    QCOMPARE(ZipEngine::ZpGetOptions().fUpdate != 0, !refused);
    QCOMPARE(prompter.messages,
             refused ? QStringList{QStringLiteral("Error setting Zip Options")} : QStringList{});
    QCOMPARE(level->text(), typed); // the controls keep what the user set
}

void TestArchiveDialogs::zipOptionsUpDown()
{
    TFrmZipOpt dialog;
    dialog.Get_ZipDllOptions();
    dialog.show();
    auto *level = child<QLineEdit>(&dialog, "edtLevel");
    auto *up = child<QWidget>(&dialog, "UpDown1Up");
    auto *down = child<QWidget>(&dialog, "UpDown1Down");
    QTest::mouseClick(up, Qt::LeftButton);
    QCOMPARE(level->text(), QStringLiteral("7"));
    level->setText(QStringLiteral("9"));
    QTest::mouseClick(up, Qt::LeftButton); // no wrap-around
    QCOMPARE(level->text(), QStringLiteral("9"));
    level->setText(QStringLiteral("x"));
    QTest::mouseClick(down, Qt::LeftButton); // from the last position
    QCOMPARE(level->text(), QStringLiteral("8"));
    level->setText(QStringLiteral("0"));
    QTest::mouseClick(down, Qt::LeftButton);
    QCOMPARE(level->text(), QStringLiteral("0"));
}

void TestArchiveDialogs::packerDropAndDelete()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(QDir().mkpath(folder));
    TPackPage page(nullptr, nullptr);
    page.show();
    auto *tree = child<TShellTree>(&page, "LFileMgr");
    auto *list = child<QListWidget>(&page, "ListaZip");
    QVERIFY(page.ListaZipDragOver(tree));
    QVERIFY(!page.ListaZipDragOver(list));

    tree->setPath(folder);
    const QString dropped = tree->path();
    QCOMPARE(dropped, folder);
    page.ListaZipDragDrop(tree);
    page.ListaZipDragDrop(tree);
    page.ListaZipDragDrop(list); // not a tree: nothing
    QCOMPARE(page.lines(), (QStringList{folder, folder}));
    dropFiles(list, {dir.filePath(QStringLiteral("x.txt"))});
    QCOMPARE(page.lines().size(), 3);
    QCOMPARE(page.lines().last(), dir.filePath(QStringLiteral("x.txt")));

    list->setFocus();
    list->setCurrentItem(nullptr);
    list->clearSelection();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(page.lines().size(), 3);
    list->setCurrentRow(2);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(page.lines(), (QStringList{folder, folder}));
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(page.lines(), QStringList{folder});
}

void TestArchiveDialogs::packerSaveDialog()
{
    TPackPage page(nullptr, nullptr);
    auto *name = child<QLineEdit>(&page, "edtZipFileName");
    QCOMPARE(name->text(), QDir::homePath() + QStringLiteral("/ZIPPED.ZIP"));
    QString answer;
    QString offered;
    page.setSaveDialog([&](QWidget *, const QString &current) {
        offered = current;
        return answer;
    });
    click(&page, "btnSaveTo");
    QCOMPARE(offered, QDir::homePath() + QStringLiteral("/ZIPPED.ZIP"));
    QCOMPARE(name->text(), QDir::homePath() + QStringLiteral("/ZIPPED.ZIP"));
    answer = QStringLiteral("/tmp/chosen.zip");
    click(&page, "btnSaveTo");
    QCOMPARE(name->text(), answer);
}

void TestArchiveDialogs::packerChoosesExistingArchive()
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("old.zip"));
    writeFile(existing, "PK");
    TPackPage page(nullptr, nullptr);
    child<QLineEdit>(&page, "edtZipFileName")->setText(existing); // offered as the choice
    bool asked = false, stillOpen = false;
    QTimer::singleShot(0, &page, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        // An overwrite question would be the next modal window: note it and say no.
        QTimer::singleShot(0, &page, [&] {
            if ((asked = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())))
                QApplication::activeModalWidget()->close();
        });
        QTest::keyClick(dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")),
                        Qt::Key_Return);
        if ((stillOpen = dialog->isVisible()))
            dialog->close();
    });
    click(&page, "btnSaveTo");
    QVERIFY(!asked && !stillOpen);
}

void TestArchiveDialogs::packerKeyboardFill_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("onFile");
    QTest::newRow("Insert on a file") << int(Qt::Key_Insert) << true;
    QTest::newRow("Enter on a file") << int(Qt::Key_Return) << true;
    QTest::newRow("Insert on a folder") << int(Qt::Key_Insert) << false;
}

void TestArchiveDialogs::packerKeyboardFill()
{
    QFETCH(int, key);
    QFETCH(bool, onFile);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("a.txt")), "a");
    TPackPage page(nullptr, nullptr);
    page.show();
    auto *tree = child<TShellTree>(&page, "LFileMgr");
    QVERIFY(!tree->rootIsDecorated());
    tree->setPath(dir.path());
    tree->currentItem()->setExpanded(true);
    QTreeWidgetItem *target = onFile ? tree->currentItem()->child(0) : tree->currentItem();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(target).center());
    QTest::keyClick(tree, Qt::Key(key));
    QCOMPARE(page.lines(),
             QStringList{onFile ? dir.filePath(QStringLiteral("a.txt")) : dir.path()});
}

void TestArchiveDialogs::packerZipWithOptions()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    QVERIFY(QDir().mkpath(src + QStringLiteral("/deep")));
    writeFile(src + QStringLiteral("/deep/a.txt"), "a on disk");
    writeFile(src + QStringLiteral("/b.txt"), "b on disk");
    const QString zip = dir.filePath(QStringLiteral("packed.zip"));
    // The archived b.txt is newer than the file on disk: updating keeps it.
    QVERIFY(makeDatedZip(zip, {{QStringLiteral("b.txt"), 3, 2035, 1, 1, 0, 0}}));

    testsupport::ScriptedPrompter prompter;
    TFrmWaitZip wait;
    TFrmZipOpt options;
    TPackPage page(&wait, &options);
    page.show();
    click(&page, "B_ZipOpt");
    QVERIFY(options.isVisible());
    child<QCheckBox>(&options, "chJunkDir")->setChecked(false);
    click(&options, "chJunkDir");
    click(&options, "chUpdate");
    click(&options, "B_SetZipOpt");
    QVERIFY(!options.isVisible());

    auto *list = child<QListWidget>(&page, "ListaZip");
    dropFiles(list, {src + QStringLiteral("/deep/a.txt"), src + QStringLiteral("/b.txt")});
    auto *name = child<QLineEdit>(&page, "edtZipFileName");
    name->setText(zip);
    click(&page, "B_ZipThem");
    QVERIFY2(prompter.messages.isEmpty(), qPrintable(prompter.messages.join('\n')));
    QVERIFY(!wait.isVisible());
    QCOMPARE(testsupport::memberNames(zip), (QStringList{"b.txt", "a.txt"}));
    QCOMPARE(testsupport::readMember(zip, QStringLiteral("a.txt")), QByteArray("a on disk"));
    QCOMPARE(testsupport::readMember(zip, QStringLiteral("b.txt")), QByteArray("aaa"));
    QCOMPARE(page.lines().size(), 2); // the list stays as it was
}

void TestArchiveDialogs::packerReportsFailure()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("same.txt"));
    writeFile(file, "same");
    const QString zip = dir.filePath(QStringLiteral("out.zip"));
    testsupport::ScriptedPrompter prompter;
    TFrmWaitZip wait;
    TPackPage page(&wait, nullptr);
    page.show();
    auto *list = child<QListWidget>(&page, "ListaZip");
    click(&page, "B_ZipThem"); // an empty list does nothing
    QVERIFY(prompter.messages.isEmpty());

    // The same file dropped twice goes to the engine twice and is stored once.
    dropFiles(list, {file});
    dropFiles(list, {file});
    child<QLineEdit>(&page, "edtZipFileName")->setText(zip);
    click(&page, "B_ZipThem");
    QVERIFY2(prompter.messages.isEmpty(), qPrintable(prompter.messages.join('\n')));
    QCOMPARE(testsupport::memberNames(zip).size(), 1);

    // A file that went missing is left out, and the message names the archive and the file.
    const QString gone = dir.filePath(QStringLiteral("gone.txt"));
    dropFiles(list, {gone});
    click(&page, "B_ZipThem");
    QCOMPARE(prompter.messages.size(), 1);
    QVERIFY2(prompter.messages.first().contains(zip) &&
                 prompter.messages.first().contains(QLatin1String("was written")) &&
                 prompter.messages.first().contains(QLatin1String("gone.txt")),
             qPrintable(prompter.messages.first()));
    QCOMPARE(testsupport::memberNames(zip).size(), 1);

    child<QLineEdit>(&page, "edtZipFileName")->setText(QStringLiteral("   "));
    click(&page, "B_ZipThem"); // a blank name does nothing
    QCOMPARE(prompter.messages.size(), 1);
}

QTEST_MAIN(TestArchiveDialogs)
#include "tst_archivedialogs.moc"
