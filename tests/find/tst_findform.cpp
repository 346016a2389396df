// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainwindow.h"
#include "find/findform.h"
#include "find/findsession.h"
#include "tests/find/findfixtures.h"
#include "widgets/shelltree.h"

#include "common/pathbytes.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QTreeView>

#include <fcntl.h>
#include <unistd.h>

using namespace testsupport;

// The find window driven from the main window with real keys and clicks, the tree's tooltips
// from the index, and the window's captions from a language file.
class TestFindForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void enterOnAResultShowsItInTheTree();
    void doubleClickAsksAboutUnsavedEdits();
    void tooltipsFromTheIndex();
    void resultWithLatin1NameOpens();
    void cancelSaysTheResultsAreIncomplete();
    void opensOnTheScreen();
    void captionsFromLanguageFiles_data();
    void captionsFromLanguageFiles();

private:
    void open()
    {
        window = new TMain;
        window->CreateSecondaryWindows();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        form = window->findChild<TFindForm *>(QStringLiteral("FindForm"));
        QVERIFY(form);
    }
    // Ctrl+F on the main window, which looks in `folder` (the tree's selection or the folder of
    // the file selected), then the query typed.
    void find(const QString &folder, const QString &query)
    {
        QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(form->isVisible());
        QCOMPARE(form->findChild<QLineEdit *>("E_Folder")->text(), folder);
        QTest::keyClicks(form->findChild<QLineEdit *>("E_Query"), query);
        QTRY_VERIFY_WITH_TIMEOUT(!form->session()->isIndexing() && form->session()->isAnswered(),
                                 20000);
    }
    QTreeView *results() { return form->findChild<QTreeView *>("L_Results"); }
    int rowOf(const QString &fileName)
    {
        const QAbstractItemModel *model = results()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, 0).data().toString() == fileName)
                return row;
        }
        return -1;
    }
    QString treePath() { return window->findChild<TShellTree *>("LFile")->path(); }
    // A copy of beta.zip named "café.zip" in Latin-1; its path as the tree holds it.
    QString addLatin1Copy()
    {
        const QByteArray path = pathbytes::encode(root) + "/caf\xE9.zip";
        const QByteArray data = readFile(root + "/beta.zip");
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool written = fd >= 0 && ::write(fd, data.constData(), data.size()) == data.size();
        ::close(fd);
        return written ? pathbytes::decode(path) : QString();
    }

    QTemporaryDir cache;  // the index of the whole test
    QTemporaryDir master; // the collection, made once
    QTemporaryDir *dir = nullptr;
    QString root;
    TMain *window = nullptr;
    TFindForm *form = nullptr;
    ScriptedPrompter *prompter = nullptr;
};

void TestFindForm::initTestCase()
{
    QVERIFY(loadEngine());
    QVERIFY(findfixtures::makeCollection(master.filePath(QStringLiteral("games"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
}

void TestFindForm::init()
{
    dir = new QTemporaryDir;
    root = dir->filePath(QStringLiteral("games"));
    findfixtures::copyTree(master.filePath(QStringLiteral("games")), root);
    QDir::setCurrent(dir->path());
    prompter = new ScriptedPrompter;
}

void TestFindForm::cleanup()
{
    delete window;
    window = nullptr;
    delete prompter;
    delete dir;
}

void TestFindForm::enterOnAResultShowsItInTheTree()
{
    open();
    window->SelectPath(root);
    find(root, QStringLiteral("space"));
    QCOMPARE(results()->model()->rowCount(), 2);
    QCOMPARE(form->findChild<QLabel *>("L_Status")->text(), "2 files found");
    const int gamma = rowOf(QStringLiteral("GAMMA.ZIP"));
    QVERIFY(gamma >= 0);
    QCOMPARE(results()->model()->index(gamma, 1).data().toString(), root + "/sub");
    QCOMPARE(results()->model()->index(gamma, 2).data().toString(), "Space trader");

    // Down leaves the query box for the first result; Down again as needed, then Enter.
    QTest::keyClick(form->findChild<QLineEdit *>("E_Query"), Qt::Key_Down);
    QVERIFY(results()->hasFocus());
    while (results()->currentIndex().row() < gamma)
        QTest::keyClick(results(), Qt::Key_Down);
    QTest::keyClick(results(), Qt::Key_Return);
    QCOMPARE(treePath(), root + "/sub/GAMMA.ZIP");
    QCOMPARE(window->findChild<QPlainTextEdit *>("DIZEdit")->toPlainText().trimmed(),
             "Space trader");
    QCOMPARE(window->CurrentFile, root + "/sub/GAMMA.ZIP");
    QVERIFY(prompter->questions.isEmpty());
}

void TestFindForm::doubleClickAsksAboutUnsavedEdits()
{
    open();
    window->SelectPath(root + "/ALPHA.ZIP");
    QTest::keyClick(window->findChild<QPlainTextEdit *>("DIZEdit"), Qt::Key_X);
    QVERIFY(UnsavedChanges);
    find(root, QStringLiteral("nova"));
    QCOMPARE(results()->model()->rowCount(), 1);
    QCOMPARE(form->findChild<QLabel *>("L_Status")->text(), "1 file found");
    const QRect rect = results()->visualRect(results()->model()->index(0, 0));
    QTest::mouseClick(results()->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(results()->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(prompter->questions, QStringList{"Save the changes ?"});
    QCOMPARE(treePath(), root + "/song.mp3");
    QCOMPARE(window->findChild<QLineEdit *>("MP_title")->text().trimmed(), "Orbit Song");
    QVERIFY(!UnsavedChanges);
    // Answered No: the archive shown before is as it was.
    QCOMPARE(readMember(root + "/ALPHA.ZIP", "FILE_ID.DIZ"),
             QByteArray("\r\n  Space shooter deluxe\r\nby Cr\x8ame Soft\r\nline 3\r\n"));
}

void TestFindForm::tooltipsFromTheIndex()
{
    QVERIFY(!addLatin1Copy().isEmpty());
    open();
    auto *tree = window->findChild<TShellTree *>("LFile");
    window->SelectPath(root);
    QTreeWidgetItem *folder = tree->currentItem();
    folder->setExpanded(true);
    auto tipOf = [&](const QString &name) {
        for (int i = 0; i < folder->childCount(); ++i) {
            QTreeWidgetItem *item = folder->child(i);
            if (item->text(0) != name)
                continue;
            const QPoint pos = tree->visualItemRect(item).center();
            QHelpEvent help(QEvent::ToolTip, pos, tree->viewport()->mapToGlobal(pos));
            QCoreApplication::sendEvent(tree->viewport(), &help);
            if (!QToolTip::isVisible())
                return QString();
            // A description is drawn in the pane's font, so that box art lines up; the tree's
            // own tooltip (a label cut off) is plain.
            const QString tip = QToolTip::text();
            const QString family = window->findChild<QPlainTextEdit *>("DIZEdit")->font().family();
            if (!tip.startsWith(QStringLiteral("<qt>")))
                return tip;
            if (!tip.contains(QStringLiteral("font-family:'%1'").arg(family)))
                return QStringLiteral("(not in %1) ").arg(family) + tip;
            return QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText();
        }
        return QStringLiteral("(no item %1)").arg(name);
    };
    QTRY_COMPARE_WITH_TIMEOUT(tipOf("ALPHA.ZIP"),
                              QString::fromUtf8("  Space shooter deluxe\nby Crème Soft\nline 3"),
                              20000);
    QTRY_COMPARE_WITH_TIMEOUT(tipOf("song.mp3"), QString::fromUtf8("Nova Lane – Orbit Song"),
                              20000);
    QTRY_COMPARE_WITH_TIMEOUT(tipOf(QString::fromUtf8("café.zip")), "A puzzle game", 20000);
    QToolTip::hideText();
    // A damaged archive has nothing in the index to show: at most the tree's own tooltip of a
    // label cut off by the tree's width.
    QTRY_VERIFY_WITH_TIMEOUT(tipOf("broken.zip").isEmpty() || tipOf("broken.zip") == "broken.zip",
                             20000);
}

void TestFindForm::resultWithLatin1NameOpens()
{
    const QString latin1 = addLatin1Copy();
    open();
    window->SelectPath(root);
    find(root, QStringLiteral("puzzle"));
    const int row = rowOf(QString::fromUtf8("café.zip"));
    QVERIFY(row >= 0);
    results()->setFocus();
    results()->setCurrentIndex(results()->model()->index(row, 0));
    QTest::keyClick(results(), Qt::Key_Return);
    QCOMPARE(treePath(), latin1);
    QCOMPARE(window->findChild<QPlainTextEdit *>("DIZEdit")->toPlainText().trimmed(),
             "A puzzle game");
}

void TestFindForm::cancelSaysTheResultsAreIncomplete()
{
    open();
    window->SelectPath(root);
    QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
    QTest::mouseClick(form->findChild<QPushButton *>("B_Cancel"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!form->session()->isIndexing(), 20000);
    QCOMPARE(form->findChild<QLabel *>("L_Status")->text(),
             "Reading was cancelled: the results are incomplete.");
}

void TestFindForm::opensOnTheScreen()
{
    open();
    const QRect area = window->screen()->availableGeometry();
    // Where a window manager might put it, partly below the screen's free area.
    form->move(area.right() - 100, area.bottom() - 100);
    QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(area.contains(form->frameGeometry()));
}

void TestFindForm::captionsFromLanguageFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("captions"); // menu item, title, check box, first column
    QTest::newRow("shipped Deutsch")
        << readFile(QStringLiteral(QUORIL_SOURCE_DIR "/resources/lang/DEUTSCH.QLG"))
        << QStringList{"In Beschreibungen suchen...", "In Beschreibungen suchen",
                       "Unterordner einbeziehen", "Datei"};
    QTest::newRow("older file without the section")
        << QByteArray("[Buttons]\r\nview=Zeigen\r\n")
        << QStringList{"Find in descriptions...", "Find in descriptions", "Include subfolders",
                       "File"};
}

void TestFindForm::captionsFromLanguageFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, captions);
    writeFile(dir->filePath("MINE.QLG"), file);
    writeFile(dir->filePath("quoril.ini"), "[International]\r\nLanguage=MINE.QLG\r\n");
    open();
    // The menu item gets a mnemonic of its own where the caption has none.
    const QString item = window->findChild<QAction *>("M_Find")->text().remove(QLatin1Char('&'));
    const QStringList shown{item, form->windowTitle(),
                            form->findChild<QCheckBox *>("chSubfolders")->text(),
                            results()->model()->headerData(0, Qt::Horizontal).toString()};
    QCOMPARE(shown, captions);
}

QTEST_MAIN(TestFindForm)
#include "tst_findform.moc"
