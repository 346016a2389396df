// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/shelltree.h"

#include "common/pathbytes.h"
#include "widgets/filemask.h"
#include "widgets/folderwatcher.h"
#include "widgets/shellfs.h"
#include "widgets/volumes.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QMultiHash>
#include <QPainter>
#include <QPointer>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

// One node of the tree: the "Computer" root, a place under it (the home folder, the file
// system, a data volume) or an entry read from a folder.
class TShellNode : public QTreeWidgetItem
{
public:
    enum Kind { Computer, Place, Entry };

    explicit TShellNode(Kind kind) : QTreeWidgetItem(QTreeWidgetItem::UserType + 1), kind(kind) {}

    TShellNode *child(int index) const
    {
        return static_cast<TShellNode *>(QTreeWidgetItem::child(index));
    }
    // A file: part of the file system and not a folder. Everything else sorts as a folder.
    bool isFile() const { return kind == Entry && !isDir; }
    bool operator<(const QTreeWidgetItem &other) const override;

    Kind kind;
    QString path; // identity: the absolute path, empty for "Computer"
    QString name; // identity within the parent folder (bytes kept: common/pathbytes.h)
    bool isDir = true;
    bool isLink = false;
    int order = 0;               // fixed position of a place under "Computer"
    bool populated = false;      // read since last collapsed or reset
    bool seen = false;           // delivered by the read in progress
    bool monitorStarted = false; // a watch was requested (even when it could not be made)
    bool monitorFailed = false;
    QString iconKey; // the icon last set, so that unchanged icons are not set again
    mutable qint64 size = -2;
    mutable QDateTime modified;
    mutable bool modifiedRead = false;
};

struct TShellTree::Private
{
    explicit Private(TShellTree *tree) : q(tree) {}

    TShellTree *q;
    Options options = TF_FOLDERS;
    QStringList masks{QStringLiteral("*.*")};
    bool maskUse = false;
    SortType sortType = so_Name;
    SortOrder sortOrder = so_Ascending;
    bool updAuto = true;
    bool updAutoRec = false;
    bool updAutoThread = true;
    bool showMessages = true;
    bool showLinkOverlay = true;
    PopupMenuMode popupMode = pmm_System;
    QPointer<QMenu> popupMenu;
    bool autoDrag = false;
    int filter = 6;

    TShellNode *root = nullptr;
    bool expandAllowed = false;
    int suppressExpandRead = 0;
    int readDepth = 0;

    FolderWatcher watcher;
    QMultiHash<QString, TShellNode *> monitored;
    QSet<QString> pendingChanges;
    QTimer changeTimer;

    QList<volumes::Volume> volumes;
    int mountFd = -1;
    QSocketNotifier *mountNotifier = nullptr;

    QFileIconProvider iconProvider;

    // Suspends repainting and shows the busy cursor for the outermost read only.
    struct ReadScope
    {
        explicit ReadScope(Private *p) : d(p)
        {
            if (d->readDepth++ == 0) {
                d->q->setUpdatesEnabled(false);
                QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            }
        }
        ~ReadScope()
        {
            if (--d->readDepth == 0) {
                QGuiApplication::restoreOverrideCursor();
                d->q->setUpdatesEnabled(true);
            }
        }
        Private *d;
    };

    static TShellNode *node(QTreeWidgetItem *item) { return static_cast<TShellNode *>(item); }

    int computeFilter() const
    {
        return 4 + (options & TF_FOLDERS ? 2 : 0) + (options & TF_NONFOLDERS ? 1 : 0);
    }

    void buildRoot();
    void readFolder(TShellNode *node, bool probe);
    void readComputer(TShellNode *node);
    bool addEntry(TShellNode *parent, const shellfs::Entry &entry, bool probe,
                  const QHash<QString, TShellNode *> &existing, QList<QTreeWidgetItem *> &fresh);
    void settleChild(TShellNode *child);
    void watchVisible(TShellNode *node);
    void dropChildren(TShellNode *node);
    void removeNode(TShellNode *node);
    void refreshNode(TShellNode *node, bool recurse);
    void expandRead(TShellNode *node);
    void expandNode(TShellNode *node);
    void sortAll(TShellNode *node);
    TShellNode *locate(const QString &folder);

    void startMonitor(TShellNode *node);
    void stopMonitor(TShellNode *node);
    void stopSubtreeMonitors(TShellNode *node);
    void stopChildMonitors(TShellNode *node);
    void handleChanges();

    void openMountNotices();
    void mountsChanged();

    int compareNodes(const TShellNode &a, const TShellNode &b) const;
    QIcon cachedIcon(const QString &key, const std::function<QIcon()> &make);
    void updateIcon(TShellNode *node);
    void showSystemMenu(TShellNode *node, const QPoint &globalPos);
};

bool TShellNode::operator<(const QTreeWidgetItem &other) const
{
    const auto &b = static_cast<const TShellNode &>(other);
    if (kind != Entry || b.kind != Entry)
        return order < b.order;
    const auto *tree = qobject_cast<const TShellTree *>(treeWidget());
    if (!tree)
        return shellfs::naturalCompare(name, b.name) < 0;
    return tree->d->compareNodes(*this, b) < 0;
}

// Folders come first, in name order; files follow in the order of the sort key and
// direction, ties broken by name.
int TShellTree::Private::compareNodes(const TShellNode &a, const TShellNode &b) const
{
    if (!a.isFile() || !b.isFile()) {
        if (a.isFile() != b.isFile())
            return a.isFile() ? 1 : -1;
        return shellfs::naturalCompare(a.name, b.name);
    }
    int result = 0;
    switch (sortType) {
    case so_Name:
        break;
    case so_Size: {
        if (a.size == -2)
            a.size = shellfs::entrySize(a.path);
        if (b.size == -2)
            b.size = shellfs::entrySize(b.path);
        result = a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
        break;
    }
    case so_Type:
        result = shellfs::naturalCompare(QFileInfo(a.name).suffix(), QFileInfo(b.name).suffix());
        break;
    case so_Date: {
        for (const TShellNode *n : {&a, &b}) {
            if (!n->modifiedRead) {
                n->modified = shellfs::entryModified(n->path);
                n->modifiedRead = true;
            }
        }
        result = a.modified < b.modified ? -1 : (b.modified < a.modified ? 1 : 0);
        break;
    }
    }
    if (result == 0)
        result = shellfs::naturalCompare(a.name, b.name);
    return sortOrder == so_Descending ? -result : result;
}

QIcon TShellTree::Private::cachedIcon(const QString &key, const std::function<QIcon()> &make)
{
    // One cache for every tree of the program: the keys name kinds of entries, not entries,
    // and the window's three trees would otherwise each read the same icons at start.
    static QHash<QString, QIcon> iconCache;
    auto it = iconCache.constFind(key);
    if (it != iconCache.constEnd())
        return *it;
    return *iconCache.insert(key, make());
}

// Icons are cached per kind (folder, open folder, file suffix), never per file.
void TShellTree::Private::updateIcon(TShellNode *node)
{
    QString key;
    std::function<QIcon()> make;
    if (node->kind == TShellNode::Computer) {
        key = QStringLiteral("computer");
        make = [this] { return iconProvider.icon(QAbstractFileIconProvider::Computer); };
    } else if (node->kind == TShellNode::Place && node->order == 0) {
        key = QStringLiteral("home");
        make = [this] {
            return QIcon::fromTheme(QStringLiteral("user-home"),
                                    iconProvider.icon(QAbstractFileIconProvider::Folder));
        };
    } else if (node->kind == TShellNode::Place) {
        key = QStringLiteral("drive");
        make = [this] { return iconProvider.icon(QAbstractFileIconProvider::Drive); };
    } else if (node->isDir) {
        const bool open = node->isExpanded() || q->currentItem() == node;
        key = open ? QStringLiteral("folder-open") : QStringLiteral("folder");
        make = [this, open] {
            const QIcon folder = iconProvider.icon(QAbstractFileIconProvider::Folder);
            return open ? QIcon::fromTheme(QStringLiteral("folder-open"), folder) : folder;
        };
    } else {
        const QString suffix = QFileInfo(node->name).suffix().toLower();
        key = QStringLiteral("file:") + suffix;
        const QString path = node->path;
        make = [this, path] {
            QIcon icon = iconProvider.icon(QFileInfo(path));
            return icon.isNull() ? iconProvider.icon(QAbstractFileIconProvider::File) : icon;
        };
    }
    if (node->isLink && showLinkOverlay) {
        const QIcon base = cachedIcon(key, make);
        key += QStringLiteral(":link");
        make = [base] {
            QPixmap pixmap = base.pixmap(16, 16);
            if (pixmap.isNull()) {
                pixmap = QPixmap(16, 16);
                pixmap.fill(Qt::transparent);
            }
            QPainter painter(&pixmap);
            const QIcon emblem = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"));
            if (!emblem.isNull()) {
                painter.drawPixmap(8, 8, emblem.pixmap(8, 8));
            } else {
                // A small arrow in the lower left corner marks a link.
                painter.setRenderHint(QPainter::Antialiasing);
                painter.fillRect(QRect(0, 9, 7, 7), Qt::white);
                painter.setPen(QPen(Qt::black, 1.2));
                painter.drawLine(QPointF(1.5, 14.5), QPointF(5.5, 10.5));
                painter.drawLine(QPointF(2.5, 10.5), QPointF(5.5, 10.5));
                painter.drawLine(QPointF(5.5, 10.5), QPointF(5.5, 13.5));
            }
            painter.end();
            return QIcon(pixmap);
        };
    }
    if (node->iconKey == key)
        return;
    node->iconKey = key;
    node->setIcon(0, cachedIcon(key, make));
}

void TShellTree::Private::buildRoot()
{
    ReadScope scope(this);
    expandAllowed = false;
    q->clear();
    monitored.clear();
    const QStringList watched = watcher.directories();
    if (!watched.isEmpty())
        watcher.removePaths(watched);
    root = new TShellNode(TShellNode::Computer);
    root->setText(0, TShellTree::tr("Computer"));
    root->name = root->text(0);
    q->addTopLevelItem(root);
    updateIcon(root);
    expandAllowed = true;
    expandNode(root);
    q->setCurrentItem(root);
}

void TShellTree::Private::readComputer(TShellNode *node)
{
    // The places: the home folder, the file system and the data volumes.
    struct Wanted
    {
        QString path;
        QString label;
        int order;
    };
    QList<Wanted> wanted;
    wanted.append({QDir::homePath(), TShellTree::tr("Home"), 0});
    wanted.append({QStringLiteral("/"), TShellTree::tr("File System"), 1});
    const QList<volumes::Volume> now = volumes::dataVolumes(volumes::mounted());
    const volumes::Changes changes = volumes::compare(volumes, now);
    volumes = now;
    int order = 2;
    for (const volumes::Volume &volume : now)
        wanted.append({volume.rootPath, volumes::displayName(volume), order++});

    QHash<QString, TShellNode *> existing;
    for (int i = 0; i < node->childCount(); ++i) {
        TShellNode *child = node->child(i);
        child->seen = false;
        existing.insert(QString::number(child->order == 0 ? 0 : 1) + child->path, child);
    }
    QList<QTreeWidgetItem *> fresh;
    for (const Wanted &place : wanted) {
        const QString key = QString::number(place.order == 0 ? 0 : 1) + place.path;
        TShellNode *child = existing.value(key);
        if (child && !child->seen) {
            child->seen = true;
        } else {
            child = new TShellNode(TShellNode::Place);
            child->path = place.path;
            child->seen = true;
            fresh.append(child);
        }
        child->name = place.label;
        child->order = place.order;
        if (child->text(0) != place.label)
            child->setText(0, place.label);
        child->setToolTip(0, place.path);
        // A volume whose device or type changed (a medium swapped) is read anew.
        const bool swapped =
            std::any_of(changes.changed.begin(), changes.changed.end(),
                        [&](const volumes::Volume &v) { return v.rootPath == place.path; });
        if (swapped && !fresh.contains(child)) {
            child->setExpanded(false);
            child->populated = false;
            dropChildren(child);
        }
    }
    if (!fresh.isEmpty())
        node->addChildren(fresh);
    QList<TShellNode *> gone;
    for (int i = 0; i < node->childCount(); ++i) {
        if (!node->child(i)->seen)
            gone.append(node->child(i));
    }
    for (TShellNode *child : gone)
        removeNode(child);
    for (int i = 0; i < node->childCount(); ++i)
        settleChild(node->child(i));
    node->sortChildren(0, Qt::AscendingOrder);
}

void TShellTree::Private::readFolder(TShellNode *node, bool probe)
{
    ReadScope scope(this);
    if (node->kind == TShellNode::Computer) {
        readComputer(node);
        return;
    }
    QHash<QString, TShellNode *> existing;
    existing.reserve(node->childCount());
    for (int i = 0; i < node->childCount(); ++i) {
        TShellNode *child = node->child(i);
        child->seen = false;
        existing.insert(child->name, child);
    }
    int flags = 0;
    if (options & TF_FOLDERS)
        flags |= shellfs::EnumFolders;
    if (options & TF_NONFOLDERS)
        flags |= shellfs::EnumNonFolders;
    if (options & TF_HIDDEN)
        flags |= shellfs::EnumHidden;
    QList<QTreeWidgetItem *> fresh;
    shellfs::enumerate(node->path, flags, [&](const shellfs::Entry &entry) {
        const bool accepted = addEntry(node, entry, probe, existing, fresh);
        return !(probe && accepted);
    });
    if (!fresh.isEmpty())
        node->addChildren(fresh);

    QList<TShellNode *> gone;
    for (int i = 0; i < node->childCount(); ++i) {
        if (!node->child(i)->seen)
            gone.append(node->child(i));
    }
    if (!gone.isEmpty() && gone.size() == node->childCount()) {
        dropChildren(node);
    } else {
        for (TShellNode *child : gone)
            removeNode(child);
    }
    node->sortChildren(0, Qt::AscendingOrder);
}

bool TShellTree::Private::addEntry(TShellNode *parent, const shellfs::Entry &entry, bool probe,
                                   const QHash<QString, TShellNode *> &existing,
                                   QList<QTreeWidgetItem *> &fresh)
{
    TShellNode *child = existing.value(entry.name);
    if (child && !child->seen)
        child->seen = true;
    else
        child = nullptr;

    const bool isFile = !entry.isDir;
    if (isFile && (options & TF_NONFOLDERS) && maskUse && !filemask::passes(masks, entry.name)) {
        if (child)
            child->seen = false;
        return false;
    }

    if (child) {
        if (child->isDir != entry.isDir) {
            // A file replaced by a folder or the other way round: start it afresh.
            stopSubtreeMonitors(child);
            dropChildren(child);
            child->setExpanded(false);
            child->populated = false;
        }
        child->isDir = entry.isDir;
        child->isLink = entry.isLink;
        child->path = entry.path;
        child->size = -2;
        child->modifiedRead = false;
    } else {
        child = new TShellNode(TShellNode::Entry);
        child->name = entry.name;
        child->path = entry.path;
        child->isDir = entry.isDir;
        child->isLink = entry.isLink;
        child->setText(0, pathbytes::display(entry.name));
        child->seen = true;
        fresh.append(child);
    }
    startMonitor(parent);
    // The entry a probe read finds sits under a collapsed folder: it is settled when that
    // folder is read in full. Settling it here would probe one level deeper each time, down
    // the first entry of every folder (and round a link loop such as /usr/bin/X11).
    if (probe)
        updateIcon(child);
    else
        settleChild(child);
    return true;
}

// Decides whether a child shows an expand button: an expanded folder keeps its children, any
// other folder gets a probe read that leaves at most one child.
void TShellTree::Private::settleChild(TShellNode *child)
{
    bool expandable = false;
    if (child->isDir) {
        if (child->isExpanded() && child->childCount() > 0)
            expandable = true;
        else {
            readFolder(child, true);
            expandable = child->childCount() > 0;
        }
    }
    if (!expandable) {
        child->populated = false;
        if (child->isExpanded())
            child->setExpanded(false);
        if (child->childCount() > 0)
            dropChildren(child);
        startMonitor(child);
    }
    updateIcon(child);
}

void TShellTree::Private::dropChildren(TShellNode *node)
{
    for (int i = 0; i < node->childCount(); ++i)
        stopSubtreeMonitors(node->child(i));
    const QList<QTreeWidgetItem *> children = node->takeChildren();
    qDeleteAll(children);
}

void TShellTree::Private::removeNode(TShellNode *node)
{
    stopSubtreeMonitors(node);
    delete node;
}

void TShellTree::Private::refreshNode(TShellNode *node, bool recurse)
{
    ReadScope scope(this);
    readFolder(node, false);
    if (!recurse)
        return;
    for (int i = 0; i < node->childCount(); ++i) {
        TShellNode *child = node->child(i);
        if (child->childCount() > 0 && child->isExpanded())
            refreshNode(child, true);
        else
            child->populated = false;
    }
}

void TShellTree::Private::expandRead(TShellNode *node)
{
    if (!expandAllowed)
        return;
    if (updAuto || !node->populated)
        refreshNode(node, updAutoRec);
    node->populated = true;
    watchVisible(node);
    updateIcon(node);
}

// Collapsing stopped the watches below a node; expanding it again watches every folder that
// shows, including the expanded branches that the read kept without reading them.
void TShellTree::Private::watchVisible(TShellNode *node)
{
    startMonitor(node);
    for (int i = 0; i < node->childCount(); ++i) {
        TShellNode *child = node->child(i);
        if (child->isExpanded())
            watchVisible(child);
        else
            startMonitor(child);
    }
}

void TShellTree::Private::expandNode(TShellNode *node)
{
    if (node->isExpanded())
        return;
    ++suppressExpandRead;
    node->setExpanded(true);
    --suppressExpandRead;
    expandRead(node);
}

void TShellTree::Private::sortAll(TShellNode *node)
{
    if (node->childCount() == 0)
        return;
    node->sortChildren(0, Qt::AscendingOrder);
    for (int i = 0; i < node->childCount(); ++i)
        sortAll(node->child(i));
}

// Walks from the deepest place holding the folder down its components, reading each folder
// on the way; the deepest node reached is the result.
TShellNode *TShellTree::Private::locate(const QString &folder)
{
    if (!root)
        return nullptr;
    expandNode(root);
    TShellNode *place = nullptr;
    for (int i = 0; i < root->childCount(); ++i) {
        TShellNode *candidate = root->child(i);
        if (!shellfs::isUnder(folder, candidate->path))
            continue;
        if (!place || candidate->path.size() > place->path.size())
            place = candidate; // ties keep the first: the home folder
    }
    if (!place)
        return nullptr;
    TShellNode *current = place;
    const QStringList components = shellfs::componentsBelow(folder, place->path);
    for (const QString &component : components) {
        expandNode(current);
        auto findChild = [&]() -> TShellNode * {
            for (int i = 0; i < current->childCount(); ++i) {
                if (current->child(i)->name == component)
                    return current->child(i);
            }
            return nullptr;
        };
        TShellNode *next = findChild();
        if (!next) {
            // A folder made since the last read: read once more before giving up.
            refreshNode(current, false);
            next = findChild();
        }
        if (!next)
            break;
        current = next;
    }
    return current;
}

void TShellTree::Private::startMonitor(TShellNode *node)
{
    if (node->monitorStarted)
        return;
    node->monitorStarted = true;
    node->monitorFailed = false;
    const QString path = node->path.trimmed();
    if (path.isEmpty())
        return;
    if (!node->isDir) {
        node->monitorFailed = true;
        return;
    }
    // A folder that cannot be watched (watch limits, no access) is simply not watched.
    if (!monitored.contains(path) && !watcher.addPath(path)) {
        node->monitorFailed = true;
        return;
    }
    monitored.insert(path, node);
}

void TShellTree::Private::stopMonitor(TShellNode *node)
{
    if (!node->monitorStarted)
        return;
    node->monitorStarted = false;
    if (node->monitorFailed) {
        node->monitorFailed = false;
        return;
    }
    const QString path = node->path.trimmed();
    if (monitored.remove(path, node) > 0 && !monitored.contains(path))
        watcher.removePath(path);
}

void TShellTree::Private::stopSubtreeMonitors(TShellNode *node)
{
    stopMonitor(node);
    for (int i = 0; i < node->childCount(); ++i)
        stopSubtreeMonitors(node->child(i));
}

// Collapsing stops the watches of the children and, below every expanded child, of its
// children; the collapsed node keeps its own.
void TShellTree::Private::stopChildMonitors(TShellNode *node)
{
    for (int i = 0; i < node->childCount(); ++i) {
        TShellNode *child = node->child(i);
        stopMonitor(child);
        if (child->isExpanded())
            stopChildMonitors(child);
    }
}

void TShellTree::Private::handleChanges()
{
    const QSet<QString> paths = std::exchange(pendingChanges, {});
    if (!updAutoThread)
        return;
    for (const QString &path : paths) {
        const QList<TShellNode *> nodes = monitored.values(path);
        if (!pathbytes::isDir(path)) {
            // The folder went away and its watch with it; the parent's read removes the node.
            for (TShellNode *node : nodes) {
                node->monitorStarted = false;
                monitored.remove(path, node);
            }
            continue;
        }
        // A folder removed and made again under the same name loses its watch with the old
        // folder: watch the new one, or later changes in it would go unseen.
        if (!nodes.isEmpty() && !watcher.directories().contains(path))
            watcher.addPath(path);
        for (TShellNode *node : nodes) {
            if (monitored.contains(path, node))
                refreshNode(node, false);
        }
    }
}

void TShellTree::Private::openMountNotices()
{
    mountFd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (mountFd < 0)
        return;
    mountNotifier = new QSocketNotifier(mountFd, QSocketNotifier::Exception, q);
    QObject::connect(mountNotifier, &QSocketNotifier::activated, q, [this] { mountsChanged(); });
}

void TShellTree::Private::mountsChanged()
{
    // Reading the table to its end re-arms the notice.
    char buffer[4096];
    ::lseek(mountFd, 0, SEEK_SET);
    while (::read(mountFd, buffer, sizeof buffer) > 0) {
    }
    if (!root)
        return;
    const QList<volumes::Volume> now = volumes::dataVolumes(volumes::mounted());
    if (volumes::compare(volumes, now).isEmpty())
        return;
    refreshNode(root, false);
}

void TShellTree::Private::showSystemMenu(TShellNode *node, const QPoint &globalPos)
{
    // The node may go away while the menu is open (a folder notice): keep its path only.
    const QString path = node->path;
    QMenu menu(q);
    QAction *open = menu.addAction(TShellTree::tr("Open"));
    QObject::connect(open, &QAction::triggered, q, [this, path] {
        TShellNode *target = path.isEmpty() ? root : locate(path);
        if (!target)
            return;
        expandNode(target);
        q->setCurrentItem(target);
        q->scrollToItem(target);
    });
    QAction *openOutside = menu.addAction(TShellTree::tr("Open in file manager"));
    openOutside->setEnabled(!path.isEmpty());
    QObject::connect(openOutside, &QAction::triggered, q,
                     [path] { QDesktopServices::openUrl(pathbytes::toUrl(path)); });
    menu.exec(globalPos);
}

TShellTree::TShellTree(QWidget *parent) : QTreeWidget(parent), d(new Private(this))
{
    setColumnCount(1);
    setHeaderHidden(true);
    // The column is as wide as its widest label, so deep or long names scroll sideways
    // instead of being cut off.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    resize(170, 270);

    d->changeTimer.setSingleShot(true);
    d->changeTimer.setInterval(20);
    connect(&d->changeTimer, &QTimer::timeout, this, [this] { d->handleChanges(); });
    connect(&d->watcher, &FolderWatcher::directoryChanged, this, [this](const QString &p) {
        d->pendingChanges.insert(p);
        d->changeTimer.start();
    });
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        if (d->suppressExpandRead == 0)
            d->expandRead(Private::node(item));
        else
            d->updateIcon(Private::node(item));
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem *item) {
        d->stopChildMonitors(Private::node(item));
        d->updateIcon(Private::node(item));
    });
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *previous) {
                if (previous)
                    d->updateIcon(Private::node(previous));
                if (current)
                    d->updateIcon(Private::node(current));
                emit changed();
            });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { emit dblClicked(); });

    d->openMountNotices();
    d->buildRoot();
    // Handlers connected right after construction also learn of the root's selection.
    QTimer::singleShot(0, this, [this] {
        if (currentItem() == d->root)
            emit changed();
    });
}

bool TShellTree::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeWidget::viewportEvent(event);
    // A label that the tree's edge cuts off shows in full as a tooltip; a node's own tooltip
    // (a volume's path) shows as before.
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = indexAt(help->pos());
    QString tip = index.data(Qt::ToolTipRole).toString();
    if (tip.isEmpty() && index.isValid()) {
        const QRect rect = visualRect(index);
        const int right = rect.left() + sizeHintForIndex(index).width();
        if (rect.left() < 0 || right > viewport()->width())
            tip = index.data(Qt::DisplayRole).toString();
    }
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
    return true;
}

TShellTree::~TShellTree()
{
    blockSignals(true);
    d->watcher.blockSignals(true);
    clear();
    delete d->mountNotifier;
    if (d->mountFd >= 0)
        ::close(d->mountFd);
    delete d;
}

QString TShellTree::path() const
{
    const auto *node = static_cast<const TShellNode *>(currentItem());
    return node ? node->path : QString();
}

QString TShellTree::filePath(const QTreeWidgetItem *item) const
{
    if (!item || item->type() != QTreeWidgetItem::UserType + 1)
        return {};
    const auto *node = static_cast<const TShellNode *>(item);
    return node->isFile() ? node->path : QString();
}

void TShellTree::setPath(const QString &path)
{
    if (path == this->path())
        return;
    const QString folder = shellfs::resolveFolder(path);
    if (folder.isEmpty())
        return;
    TShellNode *node = d->locate(folder);
    if (!node)
        return;
    d->expandNode(node);
    setCurrentItem(node);
    scrollToItem(node);
}

TShellTree::Options TShellTree::options() const
{
    return d->options;
}

void TShellTree::setOptions(Options options)
{
    if (options == d->options)
        return;
    d->options = options;
    // The watches serve every kind of change at once; the value is kept for callers.
    d->filter = d->computeFilter();
    refreshAll();
}

QString TShellTree::fileMask() const
{
    return d->masks.join(QLatin1Char(';'));
}

void TShellTree::setFileMask(const QString &mask)
{
    const QStringList masks = filemask::parse(mask);
    if (masks == d->masks)
        return;
    d->masks = masks;
    if (d->options & TF_NONFOLDERS)
        refreshAll();
}

bool TShellTree::fileMaskUse() const
{
    return d->maskUse;
}

void TShellTree::setFileMaskUse(bool use)
{
    if (use == d->maskUse)
        return;
    d->maskUse = use;
    if (d->options & TF_NONFOLDERS)
        refreshAll();
}

TShellTree::SortType TShellTree::fileSortType() const
{
    return d->sortType;
}

void TShellTree::setFileSortType(SortType type)
{
    if (type == d->sortType)
        return;
    d->sortType = type;
    if (d->root)
        d->sortAll(d->root);
}

TShellTree::SortOrder TShellTree::fileSortOrder() const
{
    return d->sortOrder;
}

void TShellTree::setFileSortOrder(SortOrder order)
{
    if (order == d->sortOrder)
        return;
    d->sortOrder = order;
    if (d->root)
        d->sortAll(d->root);
}

bool TShellTree::updAuto() const
{
    return d->updAuto;
}

void TShellTree::setUpdAuto(bool on)
{
    d->updAuto = on;
}

bool TShellTree::updAutoRec() const
{
    return d->updAutoRec;
}

void TShellTree::setUpdAutoRec(bool on)
{
    d->updAutoRec = on;
}

bool TShellTree::updAutoThread() const
{
    return d->updAutoThread;
}

void TShellTree::setUpdAutoThread(bool on)
{
    d->updAutoThread = on;
}

bool TShellTree::showMessages() const
{
    return d->showMessages;
}

void TShellTree::setShowMessages(bool on)
{
    d->showMessages = on;
}

bool TShellTree::showLinkOverlay() const
{
    return d->showLinkOverlay;
}

void TShellTree::setShowLinkOverlay(bool on)
{
    if (on == d->showLinkOverlay)
        return;
    d->showLinkOverlay = on;
    refreshAll();
}

TShellTree::PopupMenuMode TShellTree::popupMenuMode() const
{
    return d->popupMode;
}

void TShellTree::setPopupMenuMode(PopupMenuMode mode)
{
    d->popupMode = mode;
}

void TShellTree::setPopupMenu(QMenu *menu)
{
    d->popupMenu = menu;
}

void TShellTree::setAutoDrag(bool on)
{
    d->autoDrag = on;
    setDragEnabled(on);
    setDragDropMode(on ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
}

void TShellTree::refreshAll()
{
    if (!d->root)
        return;
    Private::ReadScope scope(d);
    d->refreshNode(d->root, true);
}

int TShellTree::monitorFilter() const
{
    return d->filter;
}

QStringList TShellTree::watchedFolders() const
{
    QStringList folders = d->watcher.directories();
    folders.sort();
    return folders;
}

QString TShellTree::dragFormat()
{
    return QStringLiteral("application/x-quoril-shelltree");
}

void TShellTree::showEvent(QShowEvent *event)
{
    QTreeWidget::showEvent(event);
    refreshAll();
}

void TShellTree::hideEvent(QHideEvent *event)
{
    QTreeWidget::hideEvent(event);
    refreshAll();
}

void TShellTree::contextMenuEvent(QContextMenuEvent *event)
{
    TShellNode *node = nullptr;
    QPoint globalPos = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        node = Private::node(itemAt(event->pos()));
    } else {
        node = Private::node(currentItem());
        if (node) {
            const QRect rect = visualItemRect(node);
            globalPos = viewport()->mapToGlobal(
                QPoint(rect.left() + rect.width() / 4, rect.top() + rect.height() / 2));
        }
    }
    event->accept();
    if (!node)
        return;
    if (d->popupMode == pmm_PopupMenu) {
        if (d->popupMenu)
            d->popupMenu->popup(globalPos);
        return;
    }
    d->showSystemMenu(node, globalPos);
}

void TShellTree::mousePressEvent(QMouseEvent *event)
{
    // A right click shows a menu for the node under the pointer; the selection stays.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void TShellTree::startDrag(Qt::DropActions supportedActions)
{
    if (!d->autoDrag)
        return;
    QTreeWidgetItem *item = currentItem();
    if (!item || Private::node(item)->path.isEmpty())
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(mimeData({item}));
    drag->setPixmap(item->icon(0).pixmap(16, 16));
    drag->exec(supportedActions & (Qt::CopyAction | Qt::LinkAction) ? supportedActions
                                                                    : Qt::CopyAction,
               Qt::CopyAction);
}

QStringList TShellTree::mimeTypes() const
{
    return {QStringLiteral("text/uri-list"), dragFormat()};
}

QMimeData *TShellTree::mimeData(const QList<QTreeWidgetItem *> &items) const
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    QString first;
    for (QTreeWidgetItem *item : items) {
        const QString path = static_cast<TShellNode *>(item)->path;
        if (path.isEmpty())
            continue;
        if (first.isEmpty())
            first = path;
        urls.append(pathbytes::toUrl(path));
    }
    data->setUrls(urls);
    data->setData(dragFormat(), pathbytes::encode(first));
    return data;
}
