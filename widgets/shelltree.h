// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

class QMenu;
class QMimeData;

// A tree of the machine's volumes, folders and (when asked) files, read lazily, filtered by
// masks, sorted, and kept current by folder watches and volume notices.
class TShellTree : public QTreeWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Path READ path WRITE setPath)

public:
    enum Option { TF_FOLDERS = 0x1, TF_NONFOLDERS = 0x2, TF_HIDDEN = 0x4 };
    Q_DECLARE_FLAGS(Options, Option)
    enum SortType { so_Name, so_Size, so_Type, so_Date };
    enum SortOrder { so_Ascending, so_Descending };
    enum PopupMenuMode { pmm_System, pmm_PopupMenu };

    explicit TShellTree(QWidget *parent = nullptr);
    ~TShellTree() override;

    // Full path of the selected node; empty when nothing or the "Computer" root is selected.
    QString path() const;
    // The full path of a file node; empty for folders, places and "Computer".
    QString filePath(const QTreeWidgetItem *item) const;
    // Selects the node of `path` (a file resolves to its folder, a missing folder to its
    // nearest existing ancestor), expanding the way to it.
    void setPath(const QString &path);

    Options options() const;
    void setOptions(Options options);
    QString fileMask() const;
    void setFileMask(const QString &mask);
    bool fileMaskUse() const;
    void setFileMaskUse(bool use);
    SortType fileSortType() const;
    void setFileSortType(SortType type);
    SortOrder fileSortOrder() const;
    void setFileSortOrder(SortOrder order);
    bool updAuto() const;
    void setUpdAuto(bool on);
    bool updAutoRec() const;
    void setUpdAutoRec(bool on);
    bool updAutoThread() const;
    void setUpdAutoThread(bool on);
    bool showMessages() const;
    void setShowMessages(bool on);
    bool showLinkOverlay() const;
    void setShowLinkOverlay(bool on);
    PopupMenuMode popupMenuMode() const;
    void setPopupMenuMode(PopupMenuMode mode);
    void setPopupMenu(QMenu *menu);
    // Automatic drag mode: dragging a node starts a drag whose source is this tree.
    void setAutoDrag(bool on);

    // Re-reads every expanded folder; expanded branches stay expanded.
    void refreshAll();

    // The kinds of change the folder watches serve: 4 (attributes) + 2 with TF_FOLDERS
    // (folder names) + 1 with TF_NONFOLDERS (file names).
    int monitorFilter() const;
    // The folders watched for changes at the moment, sorted.
    QStringList watchedFolders() const;
    // The private drag format; its data is the dragged node's path, its exact bytes.
    static QString dragFormat();

signals:
    // The selection moved to another node (also when the root is selected on building).
    void changed();
    // A node was double-clicked.
    void dblClicked();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    bool viewportEvent(QEvent *event) override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;

private:
    friend class TShellNode;
    struct Private;
    Private *d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TShellTree::Options)
