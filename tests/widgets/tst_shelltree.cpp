// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/pathbytes.h"
#include "widgets/shelltree.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Opt = TShellTree::Option;

class TestShellTree : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rootAndPlaces();
    void readingWithMasks();
    void expandButtonsWithFilesShown_data();
    void expandButtonsWithFilesShown();
    void foldersOnlyNeverListsFiles();
    void hiddenEntriesWithoutCollapsing();
    void maskChangeRefusesEntries();
    void refreshKeepsExpandedBranches();
    void pathResolution_data();
    void pathResolution();
    void pathWithNothingToSelect();
    void sorting_data();
    void sorting();
    void watchedFolderRefreshes_data();
    void watchedFolderRefreshes();
    void collapseStopsChildWatches();
    void recreatedFolderIsWatchedAgain();
    void folderNotNamedInUtf8();
    void rightClickKeepsSelection();
    void dragData();
    void systemMenuAndDoubleClick();
    void longLabelsScrollAndShowTooltips();

private:
    QTemporaryDir *m_tmp = nullptr;
    QString m_root;
};

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}

QStringList labels(const QTreeWidgetItem *item)
{
    QStringList result;
    for (int i = 0; i < item->childCount(); ++i)
        result.append(item->child(i)->text(0));
    return result;
}

QTreeWidgetItem *childNamed(const QTreeWidgetItem *item, const QString &name)
{
    for (int i = 0; i < item->childCount(); ++i) {
        if (item->child(i)->text(0) == name)
            return item->child(i);
    }
    return nullptr;
}

// A tree as the main window's archive tree: folders and *.zip / *.mp3 files.
void setUpFileTree(TShellTree &tree)
{
    tree.setOptions(Opt::TF_FOLDERS | Opt::TF_NONFOLDERS);
    tree.setFileMask(QStringLiteral("*.zip;*.mp3"));
    tree.setFileMaskUse(true);
}

} // namespace

void TestShellTree::init()
{
    delete m_tmp;
    m_tmp = new QTemporaryDir;
    QVERIFY(m_tmp->isValid());
    m_root = m_tmp->path();
    QDir dir(m_root);
    QVERIFY(dir.mkpath("onlytxt"));
    touch(m_root + "/onlytxt/notes.txt");
    QVERIFY(dir.mkpath("onezip"));
    touch(m_root + "/onezip/game.zip");
    QVERIFY(dir.mkpath("nested/inner"));
    QVERIFY(dir.mkpath("empty"));
    QVERIFY(dir.mkpath(".secret"));
    touch(m_root + "/.secret/x.zip");
    for (const char *name : {"Song.MP3", "a.zip", "b.zip", "a.zip.bak", "zip", ".hidden.zip"})
        touch(m_root + "/" + name);
}

void TestShellTree::rootAndPlaces()
{
    TShellTree tree;
    QSignalSpy changed(&tree, &TShellTree::changed);
    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem *root = tree.topLevelItem(0);
    QCOMPARE(root->text(0), QString("Computer"));
    QCOMPARE(tree.currentItem(), root);
    QVERIFY(tree.path().isEmpty());
    // The root's selection reaches handlers connected after construction.
    QTRY_COMPARE(changed.count(), 1);
    QVERIFY(root->isExpanded());
    QVERIFY(labels(root).size() >= 2);
    QCOMPARE(labels(root).mid(0, 2), (QStringList{"Home", "File System"}));
    QCOMPARE(root->child(0)->toolTip(0), QDir::homePath());

    tree.setPath("/");
    QCOMPARE(tree.path(), QString("/"));
    QCOMPARE(tree.currentItem(), root->child(1));
}

void TestShellTree::readingWithMasks()
{
    TShellTree tree;
    setUpFileTree(tree);
    tree.setPath(m_root);
    QCOMPARE(tree.path(), m_root);
    QTreeWidgetItem *node = tree.currentItem();
    QVERIFY(node->isExpanded());
    QCOMPARE(labels(node),
             (QStringList{"empty", "nested", "onezip", "onlytxt", "a.zip", "b.zip", "Song.MP3"}));
}

void TestShellTree::expandButtonsWithFilesShown_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("button");
    QTest::newRow("only non-matching files") << "onlytxt" << false;
    QTest::newRow("one matching file") << "onezip" << true;
    QTest::newRow("a subfolder") << "nested" << true;
    QTest::newRow("empty folder") << "empty" << false;
}

void TestShellTree::expandButtonsWithFilesShown()
{
    QFETCH(QString, folder);
    QFETCH(bool, button);
    TShellTree tree;
    setUpFileTree(tree);
    tree.setPath(m_root);
    QTreeWidgetItem *child = childNamed(tree.currentItem(), folder);
    QVERIFY(child);
    QCOMPARE(child->childCount() > 0, button);
    QVERIFY(child->childCount() <= 1); // a probe read stops at the first accepted entry
    QVERIFY(!child->isExpanded());
}

void TestShellTree::foldersOnlyNeverListsFiles()
{
    TShellTree tree;
    tree.setOptions(Opt::TF_FOLDERS);
    tree.setFileMaskUse(true);
    tree.setFileMask("*");
    tree.setPath(m_root + "/onezip");
    QCOMPARE(tree.path(), m_root + "/onezip");
    QCOMPARE(tree.currentItem()->childCount(), 0);
    QTreeWidgetItem *parent = tree.currentItem()->parent();
    QCOMPARE(labels(parent), (QStringList{"empty", "nested", "onezip", "onlytxt"}));
    QCOMPARE(childNamed(parent, "nested")->childCount(), 1);
    QCOMPARE(childNamed(parent, "onlytxt")->childCount(), 0);
    QCOMPARE(tree.monitorFilter(), 6);
}

void TestShellTree::hiddenEntriesWithoutCollapsing()
{
    TShellTree tree;
    setUpFileTree(tree);
    QCOMPARE(tree.monitorFilter(), 7);
    tree.setPath(m_root + "/nested");
    QTreeWidgetItem *nested = tree.currentItem();
    QTreeWidgetItem *root = nested->parent();
    QVERIFY(!childNamed(root, ".secret"));
    const QStringList watchedBefore = tree.watchedFolders();

    tree.setOptions(Opt::TF_FOLDERS | Opt::TF_NONFOLDERS | Opt::TF_HIDDEN);
    QCOMPARE(tree.monitorFilter(), 7);
    QVERIFY(childNamed(root, ".secret"));
    QVERIFY(childNamed(root, ".hidden.zip"));
    QVERIFY(root->isExpanded());
    QVERIFY(nested->isExpanded());
    QCOMPARE(tree.currentItem(), nested);
    // Tests running beside this one remove their folders under /tmp: those are not watched.
    for (const QString &folder : watchedBefore)
        QVERIFY2(tree.watchedFolders().contains(folder) || !QFileInfo::exists(folder),
                 qPrintable(folder));

    tree.setOptions(Opt::TF_FOLDERS | Opt::TF_NONFOLDERS);
    QVERIFY(!childNamed(root, ".secret"));
    QVERIFY(!childNamed(root, ".hidden.zip"));
    QVERIFY(nested->isExpanded());
}

void TestShellTree::maskChangeRefusesEntries()
{
    TShellTree tree;
    setUpFileTree(tree);
    tree.setPath(m_root);
    QTreeWidgetItem *root = tree.currentItem();
    tree.setFileMask(" *.mp3 ; ");
    QCOMPARE(tree.fileMask(), QString("*.mp3"));
    QCOMPARE(labels(root), (QStringList{"empty", "nested", "onezip", "onlytxt", "Song.MP3"}));
    // onezip now holds nothing that passes.
    QCOMPARE(childNamed(root, "onezip")->childCount(), 0);
    tree.setFileMaskUse(false);
    QCOMPARE(labels(root), (QStringList{"empty", "nested", "onezip", "onlytxt", "a.zip",
                                        "a.zip.bak", "b.zip", "Song.MP3", "zip"}));
    QCOMPARE(childNamed(root, "onlytxt")->childCount(), 1);
}

void TestShellTree::refreshKeepsExpandedBranches()
{
    TShellTree tree;
    tree.setUpdAutoThread(false);
    setUpFileTree(tree);
    tree.setPath(m_root + "/nested/inner");
    QTreeWidgetItem *inner = tree.currentItem();
    QTreeWidgetItem *nested = inner->parent();
    QTreeWidgetItem *root = nested->parent();
    touch(m_root + "/c.zip");
    touch(m_root + "/nested/inner/deep.mp3");
    QVERIFY(QFile::remove(m_root + "/b.zip"));

    tree.refreshAll();
    QVERIFY(childNamed(root, "c.zip"));
    QVERIFY(!childNamed(root, "b.zip"));
    QCOMPARE(labels(inner), QStringList{"deep.mp3"});
    // The same nodes, still expanded, still selected.
    QCOMPARE(childNamed(root, "nested"), nested);
    QCOMPARE(childNamed(nested, "inner"), inner);
    QVERIFY(root->isExpanded() && nested->isExpanded() && inner->isExpanded());
    QCOMPARE(tree.currentItem(), inner);

    // Showing the widget refreshes it the same way.
    touch(m_root + "/d.zip");
    tree.show();
    QVERIFY(childNamed(root, "d.zip"));
    QVERIFY(nested->isExpanded());
}

void TestShellTree::pathResolution_data()
{
    QTest::addColumn<QString>("input"); // below the temporary folder
    QTest::addColumn<QString>("selected");
    QTest::newRow("folder") << "nested/inner"
                            << "nested/inner";
    QTest::newRow("file selects its folder") << "onezip/game.zip"
                                             << "onezip";
    QTest::newRow("missing folder selects nearest ancestor") << "nested/gone/away"
                                                             << "nested";
    QTest::newRow("trailing separator") << "nested/"
                                        << "nested";
    QTest::newRow("hidden folder while hidden entries are off") << ".secret"
                                                                << "";
}

void TestShellTree::pathResolution()
{
    QFETCH(QString, input);
    QFETCH(QString, selected);
    TShellTree tree;
    setUpFileTree(tree);
    QSignalSpy changed(&tree, &TShellTree::changed);
    QTRY_COMPARE(changed.count(), 1); // the root on building
    changed.clear();
    tree.setPath(m_root + "/" + input);
    const QString expected = selected.isEmpty() ? m_root : m_root + "/" + selected;
    QCOMPARE(tree.path(), expected);
    QCOMPARE(changed.count(), 1);
    QVERIFY(tree.currentItem()->isExpanded() || tree.currentItem()->childCount() == 0);
    // Setting the same path again changes nothing.
    tree.setPath(expected);
    QCOMPARE(changed.count(), 1);
}

void TestShellTree::pathWithNothingToSelect()
{
    TShellTree tree;
    tree.setPath(m_root);
    QSignalSpy changed(&tree, &TShellTree::changed);
    tree.setPath(QString());
    tree.setPath("   ");
    QCOMPARE(tree.path(), m_root);
    QCOMPARE(changed.count(), 0);

    // A relative path is taken against the current folder.
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_root));
    tree.setPath("nested/missing");
    QVERIFY(QDir::setCurrent(saved));
    QCOMPARE(tree.path(), QDir(m_root).canonicalPath() + "/nested");
}

void TestShellTree::sorting_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("ascending") << int(TShellTree::so_Ascending)
                               << QStringList{"dir2",  "Dir10",      "a.zip",
                                              "B.zip", "track2.mp3", "track10.mp3"};
    QTest::newRow("descending") << int(TShellTree::so_Descending)
                                << QStringList{"dir2",       "Dir10", "track10.mp3",
                                               "track2.mp3", "B.zip", "a.zip"};
}

void TestShellTree::sorting()
{
    QFETCH(int, order);
    QFETCH(QStringList, expected);
    const QString folder = m_root + "/sorted";
    QDir dir(m_root);
    QVERIFY(dir.mkpath("sorted/Dir10") && dir.mkpath("sorted/dir2"));
    for (const char *name : {"track10.mp3", "B.zip", "track2.mp3", "a.zip"})
        touch(folder + "/" + name);
    TShellTree tree;
    setUpFileTree(tree);
    tree.setPath(folder);
    QTreeWidgetItem *node = tree.currentItem();
    QTreeWidgetItem *dir2 = childNamed(node, "dir2");
    tree.setFileSortOrder(TShellTree::SortOrder(order));
    QCOMPARE(labels(node), expected);
    QCOMPARE(childNamed(node, "dir2"), dir2); // re-sorting keeps the nodes
    // A re-read keeps the order.
    tree.refreshAll();
    QCOMPARE(labels(node), expected);
}

void TestShellTree::watchedFolderRefreshes_data()
{
    QTest::addColumn<bool>("updAutoThread");
    QTest::newRow("refresh on notice") << true;
    QTest::newRow("notices ignored") << false;
}

void TestShellTree::watchedFolderRefreshes()
{
    QFETCH(bool, updAutoThread);
    TShellTree tree;
    tree.setUpdAutoThread(updAutoThread);
    setUpFileTree(tree);
    tree.setPath(m_root + "/nested");
    QTreeWidgetItem *nested = tree.currentItem();
    QVERIFY(tree.watchedFolders().contains(m_root + "/nested"));
    touch(m_root + "/nested/new.zip");
    QVERIFY(QDir(m_root).mkdir("nested/newdir"));
    if (updAutoThread) {
        QTRY_VERIFY(childNamed(nested, "new.zip"));
        QTRY_VERIFY(childNamed(nested, "newdir"));
        QFile::remove(m_root + "/nested/new.zip");
        QTRY_VERIFY(!childNamed(nested, "new.zip"));
    } else {
        QTest::qWait(300);
        QVERIFY(!childNamed(nested, "new.zip"));
        // Collapsing and expanding again reads the folder.
        nested->setExpanded(false);
        nested->setExpanded(true);
        QVERIFY(childNamed(nested, "new.zip"));
    }
}

void TestShellTree::collapseStopsChildWatches()
{
    TShellTree tree;
    setUpFileTree(tree);
    tree.setPath(m_root + "/nested");
    QTreeWidgetItem *nested = tree.currentItem();
    QTreeWidgetItem *root = nested->parent();
    const QString n = m_root + "/nested", i = m_root + "/nested/inner";
    QStringList watched = tree.watchedFolders();
    for (const QString &folder : {m_root, n, i, m_root + "/onezip", m_root + "/empty"})
        QVERIFY2(watched.contains(folder), qPrintable(folder));

    root->setExpanded(false);
    watched = tree.watchedFolders();
    QVERIFY(watched.contains(m_root));
    for (const QString &folder : {n, i, m_root + "/onezip", m_root + "/empty"})
        QVERIFY2(!watched.contains(folder), qPrintable(folder));

    // Expanding again reads the folder and watches its children anew.
    root->setExpanded(true);
    watched = tree.watchedFolders();
    QVERIFY(watched.contains(n) && watched.contains(m_root + "/empty"));
}

// A watched folder removed and made again under the same name before its notice is handled
// is watched anew: later changes in it still show.
void TestShellTree::recreatedFolderIsWatchedAgain()
{
    TShellTree tree;
    setUpFileTree(tree);
    tree.setPath(m_root + "/nested");
    QTreeWidgetItem *nested = tree.currentItem();
    QVERIFY(QDir(m_root + "/nested").removeRecursively());
    QVERIFY(QDir(m_root).mkdir("nested"));
    QTest::qWait(200);
    touch(m_root + "/nested/late.zip");
    QTRY_VERIFY(childNamed(nested, "late.zip"));
}

// A folder named in Latin-1 is read, shown, watched (also once made again) and dragged with
// its exact bytes.
void TestShellTree::folderNotNamedInUtf8()
{
    const QByteArray bytes = QFile::encodeName(m_root) + "/d\xfcr";
    QCOMPARE(::mkdir(bytes.constData(), 0755), 0);
    const QString folder = pathbytes::decode(bytes);
    TShellTree tree;
    setUpFileTree(tree);
    tree.setAutoDrag(true);
    tree.setPath(folder);
    QCOMPARE(tree.path(), folder);
    QTreeWidgetItem *node = tree.currentItem();
    QCOMPARE(node->text(0), QStringLiteral("dür"));
    QScopedPointer<QMimeData> data(tree.model()->mimeData({tree.currentIndex()}));
    QCOMPARE(data->data(TShellTree::dragFormat()), bytes);
    QCOMPARE(pathbytes::fromUrl(data->urls().value(0)), folder);

    const QByteArray file = bytes + "/caf\xe9.zip";
    const QString label = QStringLiteral("café.zip");
    for (int round = 0; round < 2; ++round) {
        QTRY_VERIFY(tree.watchedFolders().contains(folder));
        ::close(::open(file.constData(), O_CREAT | O_WRONLY, 0644));
        QTRY_VERIFY(childNamed(node, label));
        // Made again under the same name: watched anew.
        QCOMPARE(::unlink(file.constData()), 0);
        QCOMPARE(::rmdir(bytes.constData()), 0);
        QCOMPARE(::mkdir(bytes.constData(), 0755), 0);
        QTRY_VERIFY(!childNamed(node, label));
    }
    QCOMPARE(::rmdir(bytes.constData()), 0);
}

void TestShellTree::rightClickKeepsSelection()
{
    TShellTree tree;
    setUpFileTree(tree);
    tree.resize(400, 600);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    tree.setPath(m_root);
    QTreeWidgetItem *selected = tree.currentItem();
    QTreeWidgetItem *other = childNamed(selected, "nested");
    tree.scrollToItem(other);
    const QPoint at = tree.visualItemRect(other).center();
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, at);
    QCOMPARE(tree.currentItem(), selected);

    // With a menu mode and no menu, nothing shows; with a menu, it pops up.
    tree.setPopupMenuMode(TShellTree::pmm_PopupMenu);
    QContextMenuEvent noMenu(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &noMenu);
    QMenu menu;
    menu.addAction("Item");
    tree.setPopupMenu(&menu);
    QContextMenuEvent withMenu(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &withMenu);
    QTRY_VERIFY(menu.isVisible());
    menu.hide();
    QCOMPARE(tree.currentItem(), selected);

    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(tree.currentItem(), other);
}

void TestShellTree::dragData()
{
    TShellTree tree;
    setUpFileTree(tree);
    tree.setAutoDrag(true);
    tree.setPath(m_root + "/onezip");
    QTreeWidgetItem *node = tree.currentItem();
    QVERIFY(node->flags() & Qt::ItemIsDragEnabled);
    const QModelIndex index = tree.currentIndex();
    QScopedPointer<QMimeData> data(tree.model()->mimeData({index}));
    QVERIFY(data);
    QCOMPARE(data->urls(), QList<QUrl>{QUrl::fromLocalFile(m_root + "/onezip")});
    QCOMPARE(QString::fromUtf8(data->data(TShellTree::dragFormat())), m_root + "/onezip");
    QVERIFY(tree.model()->mimeTypes().contains("text/uri-list"));
}

void TestShellTree::systemMenuAndDoubleClick()
{
    TShellTree tree;
    setUpFileTree(tree);
    tree.resize(400, 600);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    tree.setPath(m_root);
    QTreeWidgetItem *selected = tree.currentItem();
    QTreeWidgetItem *target = childNamed(selected, "onezip");
    tree.scrollToItem(target);
    const QPoint at = tree.visualItemRect(target).center();

    // The menu of the node under the pointer: choosing "Open" selects and expands it.
    QStringList offered;
    QTimer::singleShot(50, &tree, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions())
            offered.append(action->text());
        menu->actions().first()->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &event);
    QCOMPARE(offered, (QStringList{"Open", "Open in file manager"}));
    QCOMPARE(tree.path(), m_root + "/onezip");
    QVERIFY(tree.currentItem()->isExpanded());

    QSignalSpy doubleClicked(&tree, &TShellTree::dblClicked);
    tree.scrollToItem(selected);
    const QPoint onSelected = tree.visualItemRect(selected).center();
    // A double click is a press, a release and a double-click press on the same node.
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, onSelected);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, onSelected);
    QCOMPARE(doubleClicked.count(), 1);
}

QTEST_MAIN(TestShellTree)
// A label wider than the tree scrolls sideways and shows in full as a tooltip; a label that
// fits shows none.
void TestShellTree::longLabelsScrollAndShowTooltips()
{
    const QString longName = QString(90, QLatin1Char('L'));
    QVERIFY(QDir(m_root).mkpath(longName));
    QVERIFY(QDir(m_root).mkpath(QStringLiteral("s")));
    TShellTree tree;
    tree.resize(160, 300);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    tree.setPath(m_root + QLatin1Char('/') + longName);
    QTRY_VERIFY(tree.horizontalScrollBar()->maximum() > 0);
    tree.horizontalScrollBar()->setValue(0);

    const auto tipOver = [&](QTreeWidgetItem *item) {
        QToolTip::hideText();
        const QRect rect = tree.visualItemRect(item);
        const QPoint at(rect.left() + 3, rect.center().y());
        QHelpEvent help(QEvent::ToolTip, at, tree.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(tree.viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QTreeWidgetItem *current = tree.currentItem();
    QVERIFY(current && current->parent());
    QCOMPARE(tipOver(childNamed(current->parent(), QStringLiteral("s"))), QString());
    QCOMPARE(tipOver(current), longName);
}

#include "tst_shelltree.moc"
