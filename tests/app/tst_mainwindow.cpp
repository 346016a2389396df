// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainwindow.h"
#include "app/quorilapplication.h"
#include "archive/unzipdialog.h"
#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "shell/helpwindow.h"
#include "tests/support/testsupport.h"
#include "widgets/shelltree.h"

#include <QAction>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace testsupport;

// The main window driven as a user would: tree selections, real key events, prompts answered.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startState();
    void selectingShowsDescription();
    void modeButtonsChooseNames();
    void noDropsEditsAndShowsNext();
    void yesSavesIntoPreviousArchive();
    void autoViewOffRecordsOnly_data();
    void autoViewOffRecordsOnly();
    void folderDisablesExtractAndKeepsPane();
    void mp3AfterArchiveDisablesExtract();
    void editKeysMarkUnsaved_data();
    void editKeysMarkUnsaved();
    void pasteMarksUnsaved();
    void editWithoutFileMarksNothing_data();
    void editWithoutFileMarksNothing();
    void exitAsksOnce();
    void failedSaveKeepsEdits();
    void customMenuRunsLookup();
    void ampersandNamesShownLiterally();
    void everyWindowHasTheProgramIcon();
    void tagPaneSavesTag();
    void customDialogFeedsTheMenu();
    void languageRelabelsEveryWindow();
    void startupLanguageAndCustomList();
    void extractOpensTheListing();
    void hiddenFilesInBothTrees();
    void extractionUsesTheListedArchive();
    void endProgramFromTrayAsksAboutEdits();
    void doubleClickShowsWithAutoViewOff();
    void saveUsesTheOptionsLevel_data();
    void saveUsesTheOptionsLevel();
    void unreadableTagIsReportedAndKept();
    void startPathIsSelectedAndShown_data();
    void startPathIsSelectedAndShown();
    void namesThatAreNotUtf8();
    void otherFormatsShownReadOnly();
    void keysFromTheDescriptionPane_data();
    void keysFromTheDescriptionPane();

private:
    void addCustomNames(const QStringList &names)
    {
        window->findChild<QAction *>(QStringLiteral("Customfile1"))->trigger();
        auto *dialog = child<QWidget>("Custom_ext");
        auto *edit = dialog->findChild<QWidget *>(QStringLiteral("T_cFile"));
        for (const QString &name : names) {
            QTest::keyClicks(edit, name);
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("B_Add")),
                              Qt::LeftButton);
        }
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("B_OK")), Qt::LeftButton);
    }
    template <typename T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("no control %s", name);
        return w;
    }
    void select(const QString &path)
    {
        window->SelectPath(path);
        QCoreApplication::processEvents();
        QCOMPARE(child<TShellTree>("LFile")->path(), path);
    }
    QString text() { return child<QPlainTextEdit>("DIZEdit")->toPlainText(); }
    QString caption() { return child<QGroupBox>("Cornice")->title(); }

    QTemporaryDir *dir = nullptr;
    TMain *window = nullptr;
    ScriptedPrompter *prompter = nullptr;
    QString game, other, plain;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(loadEngine());
}

void TestMainWindow::init()
{
    dir = new QTemporaryDir;
    game = dir->filePath(QStringLiteral("GAME.ZIP"));
    other = dir->filePath(QStringLiteral("other.zip"));
    plain = dir->filePath(QStringLiteral("plain.zip"));
    makeZip(game, {{QStringLiteral("FILE_ID.DIZ"), "Game description\r\nline 2\r\n"},
                   {QStringLiteral("readme.txt"), "Read me"},
                   {QStringLiteral("game.exe"), "MZ"}});
    makeZip(other, {{QStringLiteral("readme.txt"), "Other readme"}});
    makeZip(plain, {{QStringLiteral("a.bin"), "x"}});
    QDir(dir->path()).mkdir(QStringLiteral("sub"));
    // The program keeps its settings in the working folder of its start.
    QDir::setCurrent(dir->path());
    prompter = new ScriptedPrompter;
    window = new TMain;
    window->CreateSecondaryWindows();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestMainWindow::cleanup()
{
    UnsavedChanges = false; // no prompt at the end of a test
    delete window;
    window = nullptr;
    delete prompter;
    QDir::setCurrent(QDir::tempPath());
    removeTree(dir->path());
    delete dir;
}

void TestMainWindow::startState()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Quoril"));
    QCOMPARE(window->size(), QSize(641, 494));
    QCOMPARE(caption(), QStringLiteral("file_id.diz"));
    QVERIFY(!child<QPushButton>("B_Save")->isEnabled());
    QVERIFY(!child<QPushButton>("B_Unzip")->isEnabled());
    QVERIFY(child<QPushButton>("B_Auto")->isChecked());
    QVERIFY(child<QPushButton>("B_autoview")->isChecked());
    QCOMPARE(child<QToolButton>("B_Custom")->text(), QStringLiteral("all custom files"));
    QCOMPARE(window->AllCustomLabel, QStringLiteral("all custom files"));
    QVERIFY(!child<QWidget>("MP3panel")->isVisible());
}

void TestMainWindow::selectingShowsDescription()
{
    select(game);
    QCOMPARE(window->CurrentFile, game);
    QCOMPARE(caption(), QStringLiteral("file_id.diz"));
    QCOMPARE(text(), QStringLiteral("Game description\nline 2\n"));
    QVERIFY(child<QPushButton>("B_Unzip")->isEnabled());
    QVERIFY(!child<QPushButton>("B_Save")->isEnabled());
}

void TestMainWindow::modeButtonsChooseNames()
{
    select(game);
    QTest::mouseClick(child<QPushButton>("B_Readme"), Qt::LeftButton);
    QCOMPARE(caption(), QStringLiteral("readme.txt"));
    QCOMPARE(text(), QStringLiteral("Read me"));
    QTest::mouseClick(child<QPushButton>("B_Filename"), Qt::LeftButton);
    QCOMPARE(caption(), QStringLiteral("GAME.txt"));
    QCOMPARE(text(), QString());
    QTest::mouseClick(child<QPushButton>("B_FileID"), Qt::LeftButton);
    QCOMPARE(text(), QStringLiteral("Game description\nline 2\n"));
}

void TestMainWindow::noDropsEditsAndShowsNext()
{
    select(game);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "XY");
    QVERIFY(UnsavedChanges);
    QVERIFY(child<QPushButton>("B_Save")->isEnabled());
    prompter->answers << false;
    select(other);
    QCOMPARE(prompter->questions, QStringList{QStringLiteral("Save the changes ?")});
    QVERIFY(!UnsavedChanges);
    QVERIFY(!child<QPushButton>("B_Save")->isEnabled());
    QCOMPARE(text(), QStringLiteral("Other readme"));
    QCOMPARE(readMember(game, QStringLiteral("FILE_ID.DIZ")),
             QByteArray("Game description\r\nline 2\r\n"));
}

void TestMainWindow::yesSavesIntoPreviousArchive()
{
    select(game);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClicks(edit, "New ");
    prompter->answers << true;
    select(other);
    QCOMPARE(prompter->questions.size(), 1);
    QCOMPARE(readMember(game, QStringLiteral("FILE_ID.DIZ")),
             QByteArray("New Game description\r\nline 2\r\n"));
    QCOMPARE(memberNames(game).size(), 3);
    QCOMPARE(text(), QStringLiteral("Other readme"));
    QVERIFY(!UnsavedChanges);
}

void TestMainWindow::autoViewOffRecordsOnly_data()
{
    QTest::addColumn<bool>("mp3");
    QTest::newRow("description pane") << false;
    QTest::newRow("tag pane") << true;
}

// With Auto view off a save writes into the file the pane shows, not the one selected.
void TestMainWindow::autoViewOffRecordsOnly()
{
    QFETCH(bool, mp3);
    const QString first = mp3 ? dir->filePath(QStringLiteral("one.mp3")) : game;
    const QString second = mp3 ? dir->filePath(QStringLiteral("two.mp3")) : other;
    writeFile(dir->filePath("one.mp3"), QByteArray(200, 'a'));
    writeFile(dir->filePath("two.mp3"), QByteArray(200, 'b') + "TAG" + QByteArray(125, 'x'));
    const QByteArray secondBefore = readFile(second);
    select(first);
    QTest::mouseClick(child<QPushButton>("B_autoview"), Qt::LeftButton);
    QVERIFY(!child<QPushButton>("B_autoview")->isChecked());
    select(second);
    QCOMPARE(window->CurrentFile, second);
    auto *edit = window->findChild<QWidget *>(mp3 ? "MP_title" : "DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "Z");
    QTest::mouseClick(child<QPushButton>("B_Save"), Qt::LeftButton);
    QCOMPARE(readFile(second), secondBefore);
    QVERIFY(mp3 ? readFile(first).mid(200, 4) == "TAGZ"
                : readMember(game, "FILE_ID.DIZ") == "ZGame description\r\nline 2\r\n");
    if (mp3)
        return;
    // View shows the selection and switches Auto view off.
    QTest::mouseClick(child<QPushButton>("B_autoview"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("B_view"), Qt::LeftButton);
    QVERIFY(!child<QPushButton>("B_autoview")->isChecked());
    QCOMPARE(caption(), QStringLiteral("readme.txt"));
}

void TestMainWindow::folderDisablesExtractAndKeepsPane()
{
    select(game);
    select(dir->filePath(QStringLiteral("sub")));
    QVERIFY(!child<QPushButton>("B_Unzip")->isEnabled());
    QCOMPARE(text(), QStringLiteral("Game description\nline 2\n"));
    QCOMPARE(caption(), QStringLiteral("file_id.diz"));
    // What is typed now belongs to the archive shown and is asked about.
    child<QPlainTextEdit>("DIZEdit")->setFocus();
    QTest::keyClicks(child<QPlainTextEdit>("DIZEdit"), "W");
    prompter->answers << true;
    select(other);
    QCOMPARE(readMember(game, QStringLiteral("FILE_ID.DIZ")),
             QByteArray("WGame description\r\nline 2\r\n"));
}

void TestMainWindow::mp3AfterArchiveDisablesExtract()
{
    const QString song = dir->filePath(QStringLiteral("song.mp3"));
    writeFile(song, QByteArray(1000, '\0'));
    select(game);
    select(song);
    QVERIFY(!child<QPushButton>("B_Unzip")->isEnabled());
    QVERIFY(child<QWidget>("MP3panel")->isVisible());
    QCOMPARE(caption(), QStringLiteral("song.mp3"));
    QCOMPARE(window->CurrentFile, song);
}

void TestMainWindow::editKeysMarkUnsaved_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("marks");
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << true;
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << true;
    QTest::newRow("comma changes the text") << int(Qt::Key_Comma) << 0 << true;
    QTest::newRow("arrow") << int(Qt::Key_Down) << 0 << false;
    QTest::newRow("function key") << int(Qt::Key_F5) << 0 << false;
    QTest::newRow("Home") << int(Qt::Key_Home) << 0 << false;
}

void TestMainWindow::editKeysMarkUnsaved()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, marks);
    select(game);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(UnsavedChanges, marks);
    QCOMPARE(child<QPushButton>("B_Save")->isEnabled(), marks);
}

void TestMainWindow::pasteMarksUnsaved()
{
    select(game);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->insertPlainText(QStringLiteral("pasted"));
    QVERIFY(UnsavedChanges);
    // A lookup replacing the text is not an edit, and leaves the flag as it was.
    UnsavedChanges = false;
    QTest::mouseClick(child<QPushButton>("B_Readme"), Qt::LeftButton);
    QVERIFY(!UnsavedChanges);
}

void TestMainWindow::editWithoutFileMarksNothing_data()
{
    QTest::addColumn<QString>("selected");
    QTest::newRow("nothing selected yet") << QString();
    QTest::newRow("a folder selected") << QStringLiteral("sub");
}

// Typing while no archive or MP3 file is selected leaves "Save info" grey: there is no file
// to save into, and the next selection asks nothing.
void TestMainWindow::editWithoutFileMarksNothing()
{
    QFETCH(QString, selected);
    if (!selected.isEmpty())
        select(dir->filePath(selected));
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "typed");
    QVERIFY(!child<QPushButton>("B_Save")->isEnabled());
    select(game);
    QVERIFY(prompter->questions.isEmpty());
    QVERIFY(prompter->messages.isEmpty());
}

void TestMainWindow::exitAsksOnce()
{
    select(game);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "Q");
    prompter->answers << false;
    QVERIFY(window->close());
    QCOMPARE(prompter->questions, QStringList{QStringLiteral("Save the changes before exit?")});
    QCOMPARE(readMember(game, QStringLiteral("FILE_ID.DIZ")),
             QByteArray("Game description\r\nline 2\r\n"));
}

void TestMainWindow::failedSaveKeepsEdits()
{
    select(game);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "Q");
    // The archive is replaced behind the program's back by something that is no archive:
    // the engine refuses to write into it.
    writeFile(game, "no longer an archive");
    QTest::mouseClick(child<QPushButton>("B_Save"), Qt::LeftButton);
    QCOMPARE(readFile(game), QByteArray("no longer an archive"));
    QVERIFY(UnsavedChanges);
    QVERIFY(child<QPushButton>("B_Save")->isEnabled());
    QCOMPARE(prompter->messages.size(), 1);
    QVERIFY(prompter->messages.first().contains(game));
}

void TestMainWindow::customMenuRunsLookup()
{
    makeZip(game, {{QStringLiteral("info.txt"), "Info text"}});
    addCustomNames({"<filename>.nfo", "info.txt"});
    auto *custom = child<QToolButton>("B_Custom");
    QVERIFY(custom->isEnabled());
    select(game);
    QCOMPARE(caption(), QStringLiteral("info.txt"));
    QMenu *menu = custom->menu();
    QCOMPARE(menu->actions().size(), 3);
    QCOMPARE(menu->actions().last()->text(), QStringLiteral("all custom files"));
    window->GestCust(menu->actions().first());
    QVERIFY(custom->isChecked());
    QCOMPARE(custom->text(), QStringLiteral("<filename>.nfo"));
    QCOMPARE(caption(), QStringLiteral("GAME.nfo"));
    QCOMPARE(text(), QString());
    // The lookup searches the dialog's list as it is, before Close rebuilds the menu.
    auto *dialog = child<QWidget>("Custom_ext");
    auto *list = dialog->findChild<QListWidget *>(QStringLiteral("L_cFile"));
    list->setCurrentRow(1);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("B_Remove")), Qt::LeftButton);
    window->GestCust(menu->actions().last());
    QCOMPARE(caption(), QStringLiteral("GAME.nfo"));
    QCOMPARE(menu->actions().size(), 3);
}

void TestMainWindow::ampersandNamesShownLiterally()
{
    const QString name = QStringLiteral("Q&A.txt");
    makeZip(game, {{name, "Answers"}});
    addCustomNames({name});
    auto *custom = child<QToolButton>("B_Custom");
    custom->menu()->actions().first()->trigger();
    QCOMPARE(custom->text(), custom->menu()->actions().first()->text());
    QCOMPARE(custom->text(), QStringLiteral("Q&&A.txt"));
    select(game);
    QCOMPARE(caption(), QStringLiteral("Q&&A.txt"));
    QCOMPARE(text(), QStringLiteral("Answers"));
    // The save goes into the member the caption names, not into "Q&&A.txt".
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "New ");
    QVERIFY(window->SaveCurrent());
    QCOMPARE(memberNames(game), QStringList{name});
}

void TestMainWindow::everyWindowHasTheProgramIcon()
{
    QuorilApplication::setProgramIcon();
    const QIcon icon = QApplication::windowIcon();
    QVERIFY(icon.pixmap(48).toImage().pixelColor(24, 24).alpha() > 0);
    for (const QWidget *window : QApplication::topLevelWidgets()) // main, wait, find, help...
        QVERIFY2(window->windowIcon().cacheKey() == icon.cacheKey(),
                 qPrintable(window->objectName()));
}

void TestMainWindow::tagPaneSavesTag()
{
    const QString song = dir->filePath(QStringLiteral("song.mp3"));
    writeFile(song, QByteArray(1000, 'a'));
    select(song);
    auto *title = window->findChild<QWidget *>(QStringLiteral("MP_title"));
    QVERIFY(title);
    title->setFocus();
    QTest::keyClicks(title, "Hello");
    QVERIFY(UnsavedChanges);
    // The description editor under the tag pane neither shows through nor takes the keyboard.
    QVERIFY(!child<QWidget>("DIZEdit")->isVisible());
    // Saved while the window is hidden (in the tray), it is still the tag that is written.
    window->hide();
    QVERIFY(window->SaveCurrent());
    const QByteArray bytes = readFile(song);
    QCOMPARE(bytes.size(), 1128);
    QCOMPARE(bytes.mid(1000, 8), QByteArray("TAGHello"));
    QCOMPARE(static_cast<unsigned char>(bytes.at(1127)), 32); // no tag read as "Classical"
}

void TestMainWindow::customDialogFeedsTheMenu()
{
    makeZip(game, {{QStringLiteral("GAME.NFO"), "nfo text"}, {QStringLiteral("info.txt"), "i"}});
    auto *custom = child<QToolButton>("B_Custom");
    QVERIFY(!custom->isEnabled());
    window->findChild<QAction *>(QStringLiteral("Customfile1"))->trigger();
    auto *dialog = child<QWidget>("Custom_ext");
    QVERIFY(dialog->isVisible());
    auto *edit = dialog->findChild<QWidget *>(QStringLiteral("T_cFile"));
    auto *add = dialog->findChild<QPushButton *>(QStringLiteral("B_Add"));
    QTest::keyClicks(edit, "<filename>.nfo");
    QTest::mouseClick(add, Qt::LeftButton);
    QTest::keyClicks(edit, "info.txt");
    QTest::mouseClick(add, Qt::LeftButton);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("B_OK")), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QVERIFY(custom->isEnabled());
    QStringList items;
    for (QAction *a : custom->menu()->actions())
        items << a->text();
    QCOMPARE(items, (QStringList{"<filename>.nfo", "info.txt", "all custom files"}));
    // All custom names are tried by the auto lookup after the fixed ones; one chosen entry
    // alone by the custom button.
    select(game);
    QCOMPARE(caption(), QStringLiteral("GAME.nfo"));
    window->GestCust(custom->menu()->actions().at(1));
    QCOMPARE(caption(), QStringLiteral("info.txt"));
    QCOMPARE(text(), QStringLiteral("i"));
    // Close does not write the list; nothing is on disk until "Save settings".
    QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("quoril2k.ext"))));
}

void TestMainWindow::languageRelabelsEveryWindow()
{
    writeFile(dir->filePath(QStringLiteral("TEST.QLG")),
              "[Menu]\r\n0=Datei\r\n[BUTTONS]\r\nCUSTOM=alle eigenen\r\n"
              "[Unpacker]\r\nUnzip_all=Alles\r\n");
    QTimer::singleShot(0, this, [this] {
        auto *form = child<QDialog>("LangForm");
        auto *files = form->findChild<QListWidget *>(QStringLiteral("FileBox"));
        QCOMPARE(files->count(), 1);
        files->setCurrentRow(0);
        QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("B_OK")), Qt::LeftButton);
    });
    window->findChild<QAction *>(QStringLiteral("Changelanguage1"))->trigger();
    // The file's caption has no "&": the menu gets a key of its own.
    QCOMPARE(window->findChild<QAction *>(QStringLiteral("File1"))->text(),
             QStringLiteral("&Datei"));
    QCOMPARE(child<QToolButton>("B_Custom")->text(), QStringLiteral("alle eigenen"));
    QCOMPARE(window->AllCustomLabel, QStringLiteral("alle eigenen"));
    // Keys the file lacks take their built-in texts, which differ from some design captions.
    QCOMPARE(child<QLabel>("Lstep1")->text(), QStringLiteral("Step 1:"));
    QCOMPARE(child<QPushButton>("B_Save")->text(), QStringLiteral("Save info"));
    auto *unzip = child<QWidget>("FrmUnzip");
    QCOMPARE(unzip->findChild<QAbstractButton *>(QStringLiteral("R_all"))->text(),
             QStringLiteral("Alles"));
    // The choice holds for this run only.
    QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("quoril.ini"))));
}

void TestMainWindow::startupLanguageAndCustomList()
{
    writeFile(dir->filePath(QStringLiteral("ITALIANO.QLG")),
              "[Buttons]\r\ncustom=tutti i personalizzati\r\nview=Vedi\r\n");
    writeFile(dir->filePath(QStringLiteral("quoril.ini")),
              "[International]\r\nLanguage=ITALIANO.QLG\r\n");
    writeFile(dir->filePath(QStringLiteral("quoril2k.ext")),
              "readme.nfo\r\n\r\n<filename>.1st\r\n");
    UnsavedChanges = false;
    delete window;
    window = new TMain;
    window->CreateSecondaryWindows();
    QCOMPARE(window->LanguageName, QStringLiteral("ITALIANO.QLG"));
    QCOMPARE(child<QPushButton>("B_view")->text(), QStringLiteral("Vedi"));
    auto *custom = child<QToolButton>("B_Custom");
    QVERIFY(custom->isEnabled());
    QStringList items;
    for (QAction *a : custom->menu()->actions())
        items << a->text();
    QCOMPARE(items, (QStringList{"readme.nfo", "<filename>.1st", "tutti i personalizzati"}));
}

void TestMainWindow::extractOpensTheListing()
{
    select(game);
    QTest::mouseClick(child<QPushButton>("B_Unzip"), Qt::LeftButton);
    auto *unzip = child<TFrmUnzip>("FrmUnzip");
    QVERIFY(unzip->isVisible());
    unzip->waitForListing();
    QCOMPARE(unzip->windowTitle(), QStringLiteral("Decompressing ") + game);
    auto *list = unzip->findChild<QAbstractItemView *>(QStringLiteral("FilesList"));
    QCOMPARE(list->model()->rowCount(), 3);
    QVERIFY(list->model()->index(0, 0).data().toString().endsWith(QLatin1String("  FILE_ID.DIZ")));
}

void TestMainWindow::hiddenFilesInBothTrees()
{
    window->findChild<QAction *>(QStringLiteral("Hiddenfiles1"))->trigger();
    QVERIFY(child<TShellTree>("LFile")->options().testFlag(TShellTree::TF_HIDDEN));
    QVERIFY(child<TShellTree>("LFileMgr")->options().testFlag(TShellTree::TF_HIDDEN));
    window->findChild<QAction *>(QStringLiteral("Hiddenfiles1"))->trigger();
    QVERIFY(!child<TShellTree>("LFile")->options().testFlag(TShellTree::TF_HIDDEN));
    QVERIFY(!child<TShellTree>("LFileMgr")->options().testFlag(TShellTree::TF_HIDDEN));
}

void TestMainWindow::doubleClickShowsWithAutoViewOff()
{
    select(game);
    QTest::mouseClick(child<QPushButton>("B_autoview"), Qt::LeftButton);
    select(other);
    QCOMPARE(text(), QStringLiteral("Game description\nline 2\n"));
    auto *tree = child<TShellTree>("LFile");
    const QRect cell = tree->visualItemRect(tree->currentItem());
    QVERIFY(cell.isValid());
    const QPoint label(cell.left() + 10, cell.center().y()); // the row may be wider than the tree
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, label);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, label);
    QCOMPARE(window->CurrentFile, other);
    QCOMPARE(text(), QStringLiteral("Other readme"));
    QCOMPARE(caption(), QStringLiteral("readme.txt"));
}

void TestMainWindow::extractionUsesTheListedArchive()
{
    select(game);
    QTest::mouseClick(child<QPushButton>("B_Unzip"), Qt::LeftButton);
    auto *unzip = child<QWidget>("FrmUnzip");
    const QString target = dir->filePath(QStringLiteral("out"));
    unzip->findChild<QLineEdit *>(QStringLiteral("T_Dir"))->setText(target);
    // The selection moves on while the dialog stays open: "Unzip !" extracts the members
    // listed, from the archive they belong to.
    select(other);
    QTest::mouseClick(unzip->findChild<QPushButton *>(QStringLiteral("B_Unzip")), Qt::LeftButton);
    QCOMPARE(QDir(target).entryList(QDir::Files),
             (QStringList{"FILE_ID.DIZ", "game.exe", "readme.txt"}));
    QCOMPARE(readFile(target + QStringLiteral("/readme.txt")), QByteArray("Read me"));
    // "Extract..." pressed again brings the open dialog to the front as it is.
    QTest::mouseClick(unzip->findChild<QPushButton *>(QStringLiteral("B_Options")), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("B_Unzip"), Qt::LeftButton);
    QCOMPARE(unzip->windowTitle(), QStringLiteral("Decompressing ") + game);
    QCOMPARE(unzip->findChild<QLineEdit *>(QStringLiteral("T_Dir"))->text(), target);
    QVERIFY(unzip->findChild<QWidget *>(QStringLiteral("OptionSide"))->isVisible());
}

void TestMainWindow::endProgramFromTrayAsksAboutEdits()
{
    select(game);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "Tray ");
    // Hidden in the tray, then "End program" from the tray menu: the unsaved edits are not
    // thrown away unseen; Yes saves them.
    QTest::mouseClick(child<QToolButton>("B_Caption"), Qt::LeftButton);
    prompter->answers << true;
    window->findChild<QAction *>(QStringLiteral("Exitprogram2"))->trigger();
    QCOMPARE(prompter->questions, QStringList{QStringLiteral("Save the changes before exit?")});
    QCOMPARE(readMember(game, QStringLiteral("FILE_ID.DIZ")),
             QByteArray("Tray Game description\r\nline 2\r\n"));
}

void TestMainWindow::saveUsesTheOptionsLevel_data()
{
    QTest::addColumn<QString>("levelText");
    QTest::addColumn<int>("method");
    QTest::newRow("0 stores") << "0" << 0;
    QTest::newRow("empty box is level 6") << "" << 8;
    QTest::newRow("first character of 9x") << "9x" << 8;
}

void TestMainWindow::saveUsesTheOptionsLevel()
{
    QFETCH(QString, levelText);
    QFETCH(int, method);
    auto *level = child<QWidget>("FrmZipOpt")->findChild<QLineEdit *>(QStringLiteral("edtLevel"));
    level->setText(levelText);
    select(other);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, QByteArray("compressible text ").repeated(40));
    QTest::mouseClick(child<QPushButton>("B_Save"), Qt::LeftButton);
    QVERIFY(!UnsavedChanges);
    QByteArray out;
    QCOMPARE(python(QStringLiteral("import sys, zipfile\n"
                                   "print(zipfile.ZipFile(sys.argv[1]).getinfo('readme.txt')"
                                   ".compress_type)"),
                    {other}, &out),
             0);
    QCOMPARE(out.trimmed().toInt(), method);
    // Nothing is left beside the archives.
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files),
             (QStringList{"GAME.ZIP", "other.zip", "plain.zip"}));
}

void TestMainWindow::unreadableTagIsReportedAndKept()
{
    const QString song = dir->filePath(QStringLiteral("song.mp3"));
    writeFile(song, QByteArray(1000, 'a'));
    select(song);
    auto *title = window->findChild<QWidget *>(QStringLiteral("MP_title"));
    title->setFocus();
    QTest::keyClicks(title, "Kept");
    // The file goes away behind the program's back: the save at the prompt fails, is
    // reported, and the edits stay unsaved with the tag pane still showing them.
    QFile::remove(song);
    prompter->answers << true;
    window->SelectPath(game);
    QCOMPARE(prompter->messages.size(), 1);
    QVERIFY(prompter->messages.first().startsWith(QStringLiteral("Cannot open file ")));
    QVERIFY(UnsavedChanges);
    // The tree stays on the file the pane shows.
    QCOMPARE(child<TShellTree>("LFile")->path(), song);
    QCOMPARE(window->CurrentFile, song);
    QVERIFY(child<QWidget>("MP3panel")->isVisible());
}

void TestMainWindow::startPathIsSelectedAndShown_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("selected"); // relative to the folder; empty: nothing selected
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message"); // the start of the message shown, if any
    const struct
    {
        const char *name, *argument, *selected, *caption, *message;
    } rows[] = {
        {"archive, relative", "GAME.ZIP", "GAME.ZIP", "file_id.diz", ""},
        {"archive, absolute", "@/other.zip", "other.zip", "readme.txt", ""},
        {"archive through ..", "./sub/../other.zip", "other.zip", "readme.txt", ""},
        {"mp3 file", "song.mp3", "song.mp3", "song.mp3", ""},
        {"folder", "sub", "sub", "file_id.diz", ""},
        {"missing path", "nothing.zip", "", "file_id.diz", "Cannot find @/nothing.zip"},
        {"file the tree does not show", "notes.txt", "", "file_id.diz", "@/notes.txt is not in"},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.argument)
                                << QString::fromLatin1(row.selected)
                                << QString::fromLatin1(row.caption)
                                << QString::fromLatin1(row.message);
}

// What "quoril PATH" (and opening a file with Quoril in a file manager) does once the window is
// up: the program goes on in every case.
void TestMainWindow::startPathIsSelectedAndShown()
{
    QFETCH(QString, argument);
    QFETCH(QString, selected);
    QFETCH(QString, caption);
    QFETCH(QString, message);
    writeFile(dir->filePath(QStringLiteral("song.mp3")), QByteArray(1000, '\0'));
    writeFile(dir->filePath(QStringLiteral("notes.txt")), "text");
    const QString at = QDir(dir->path()).canonicalPath();
    QDir::setCurrent(at);
    window->OpenStartPath(argument.replace(QLatin1Char('@'), at));
    QCoreApplication::processEvents();
    if (!selected.isEmpty())
        QCOMPARE(child<TShellTree>("LFile")->path(), at + QLatin1Char('/') + selected);
    else
        QVERIFY(child<TShellTree>("LFile")->path() != at + QStringLiteral("/notes.txt"));
    QCOMPARE(this->caption(), caption);
    QCOMPARE(child<QWidget>("MP3panel")->isVisible(), selected.endsWith(QLatin1String(".mp3")));
    QCOMPARE(text().isEmpty(), !selected.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive));
    QCOMPARE(prompter->messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QVERIFY2(prompter->messages.constFirst().startsWith(message.replace(QLatin1Char('@'), at)),
                 qPrintable(prompter->messages.constFirst()));
}

// A folder and files named in Latin-1, as old collections hold them: selected, described,
// saved into, extracted and tagged through the tree with the mouse.
void TestMainWindow::namesThatAreNotUtf8()
{
    // Python keeps a name's bytes.
    QCOMPARE(
        python(QStringLiteral(
                   "import os, sys, zipfile\n"
                   "os.chdir(sys.argv[1])\n"
                   "os.mkdir(b'd\\xfcr')\n"
                   "with open(b'd\\xfcr/caf\\xe9.zip', 'wb') as f, zipfile.ZipFile(f, 'w') as z:\n"
                   "    z.writestr('FILE_ID.DIZ', b'Old\\r\\n')\n"
                   "    z.writestr('a.txt', b'member a')\n"
                   "open(b'd\\xfcr/caf\\xe9.mp3', 'wb').write(b'\\x80' * 1000)\n"),
               {dir->path()}),
        0);
    const QByteArray folderBytes = QFile::encodeName(dir->path()) + "/d\xfcr";
    const QString folder = pathbytes::decode(folderBytes);
    const QString archive = pathbytes::decode(folderBytes + "/caf\xe9.zip");
    const QString song = pathbytes::decode(folderBytes + "/caf\xe9.mp3");
    auto *tree = child<TShellTree>("LFile");
    QTreeWidgetItem *folderItem = nullptr;
    const auto click = [&](const QString &label) {
        QTreeWidgetItem *item = nullptr;
        for (int i = 0; i < folderItem->childCount(); ++i) {
            if (folderItem->child(i)->text(0) == label)
                item = folderItem->child(i);
        }
        QVERIFY(item);
        tree->scrollToItem(item);
        const QRect cell = tree->visualItemRect(item); // may be wider than the tree
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          QPoint(cell.left() + 10, cell.center().y()));
    };
    const auto bytesOf = [](const QString &path) {
        QFile file;
        return pathbytes::openFile(file, path, QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    window->SelectPath(folder);
    QCOMPARE(tree->path(), folder);
    folderItem = tree->currentItem();
    QCOMPARE(folderItem->text(0), QStringLiteral("dür"));
    folderItem->setExpanded(true);
    QVERIFY(tree->watchedFolders().contains(folder));

    click(QStringLiteral("café.zip"));
    QCOMPARE(window->CurrentFile, archive);
    QCOMPARE(text(), QStringLiteral("Old\n"));
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClicks(edit, "New ");
    QTest::mouseClick(child<QPushButton>("B_Save"), Qt::LeftButton);
    QVERIFY(prompter->messages.isEmpty());
    QVERIFY(!UnsavedChanges);
    QByteArray saved;
    python(QStringLiteral("import os, sys, zipfile\n"
                          "os.chdir(sys.argv[1])\n"
                          "z = zipfile.ZipFile(open(b'd\\xfcr/caf\\xe9.zip', 'rb'))\n"
                          "sys.stdout.buffer.write(z.read('FILE_ID.DIZ'))\n"),
           {dir->path()}, &saved);
    QCOMPARE(saved, QByteArray("New Old\r\n"));

    QTest::mouseClick(child<QPushButton>("B_Unzip"), Qt::LeftButton);
    auto *unzip = child<QWidget>("FrmUnzip");
    unzip->findChild<TShellTree *>(QStringLiteral("FolderTree"))->setPath(folder);
    QCOMPARE(unzip->findChild<QLineEdit *>(QStringLiteral("T_Dir"))->text(),
             pathbytes::display(folder));
    QTest::mouseClick(unzip->findChild<QPushButton *>(QStringLiteral("B_Unzip")), Qt::LeftButton);
    QVERIFY(prompter->messages.isEmpty());
    QCOMPARE(bytesOf(folder + QStringLiteral("/a.txt")), QByteArray("member a"));
    unzip->hide();

    click(QStringLiteral("café.mp3"));
    QCOMPARE(window->CurrentFile, song);
    QCOMPARE(caption(), QStringLiteral("café.mp3"));
    auto *title = window->findChild<QWidget *>(QStringLiteral("MP_title"));
    title->setFocus();
    QTest::keyClicks(title, "Hello");
    QTest::mouseClick(child<QPushButton>("B_Save"), Qt::LeftButton);
    QVERIFY(prompter->messages.isEmpty());
    const QByteArray tagged = bytesOf(song);
    QCOMPARE(tagged.size(), 1128);
    QCOMPARE(tagged.mid(1000, 8), QByteArray("TAGHello"));
}

// An LHA archive enters the tree with the option, which quoril.ini keeps; its description is
// shown, cannot be edited, and "Save info" says why it stays grey.
void TestMainWindow::otherFormatsShownReadOnly()
{
    const QString lzh = dir->filePath(QStringLiteral("DEMO.LZH"));
    writeFile(dir->filePath(QStringLiteral("FILE_ID.DIZ")), "Demo\r\n");
    QCOMPARE(run(QStringLiteral("jlha"), {QStringLiteral("a"), lzh, QStringLiteral("FILE_ID.DIZ")},
                 nullptr, dir->path()),
             0);
    window->SelectPath(lzh);
    QVERIFY(child<TShellTree>("LFile")->path() != lzh);
    child<QAction>("M_Formats")->trigger();
    QVERIFY(readFile(dir->filePath(QStringLiteral("quoril.ini"))).contains("OtherFormats=1"));
    select(lzh);
    QCOMPARE(text(), QStringLiteral("Demo\n"));
    QTest::keyClick(child<QPlainTextEdit>("DIZEdit"), Qt::Key_X);
    QCOMPARE(text(), QStringLiteral("Demo\n"));
    QVERIFY(!child<QPushButton>("B_Save")->isEnabled());
    QVERIFY(child<QPushButton>("B_Save")->toolTip().contains(QLatin1String("LHA")));
}

void TestMainWindow::keysFromTheDescriptionPane_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("Ctrl+S saves") << QKeySequence(Qt::CTRL | Qt::Key_S) << "saved";
    QTest::newRow("Ctrl+Tab") << QKeySequence(Qt::CTRL | Qt::Key_Tab) << "packer";
    QTest::newRow("Ctrl+Shift+Tab")
        << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab) << "packer";
    QTest::newRow("F1, then Esc") << QKeySequence(Qt::Key_F1) << "help";
    QTest::newRow("Ctrl+Q") << QKeySequence(Qt::CTRL | Qt::Key_Q) << "closed";
}

void TestMainWindow::keysFromTheDescriptionPane()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, outcome);
    select(game);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "W");
    prompter->answers << false;
    auto *help = window->findChild<THelpWindow *>(QStringLiteral("HelpWindow"));
    writeFile(dir->filePath(QString::fromUtf8(THelpWindow::HelpFileName)), "<p>Help</p>");
    help->setSearchDirs({dir->path()});
    QTest::keySequence(edit, keys);
    if (outcome == QLatin1String("saved"))
        QCOMPARE(readMember(game, QStringLiteral("FILE_ID.DIZ")).left(2), QByteArray("WG"));
    QCOMPARE(child<QTabWidget>("Pagina")->currentIndex(), outcome == QLatin1String("packer"));
    if (outcome == QLatin1String("packer"))
        QVERIFY(!edit->hasFocus());
    QCOMPARE(window->isVisible(), outcome != QLatin1String("closed"));
    QCOMPARE(help->isVisible(), outcome == QLatin1String("help"));
    QTest::keyClick(help, Qt::Key_Escape);
    QVERIFY(!help->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
