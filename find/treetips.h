// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/filepath.h"

#include <QFont>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

class TShellTree;
class TTipSource;
class QTreeWidgetItem;

// Tooltips of the archives and MP3 files in a tree, from the collection index: the texts of
// the files in view are asked for in the background whenever the view moves, so a tooltip is
// usually ready when the pointer rests; one that is not shows when its text arrives. A file
// the index has nothing for keeps the tree's own tooltip.
class TTreeTips : public QObject
{
    Q_OBJECT

public:
    TTreeTips(TShellTree *tree, TTipSource *source);

    // The tooltip for a file node: the index's text, then the full name when the label is cut
    // off; empty when the index has no text for it.
    QString tipFor(QTreeWidgetItem *item) const;
    // Asks for the texts of the file nodes in view now (also done after every move of the view).
    void requestVisible();
    // The font descriptions are drawn in (the pane's): box art lines up only in it.
    void setTextFont(const QFont &font);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void arrived(const TFilePath &path, const QString &text);
    TFilePath pathOf(QTreeWidgetItem *item) const;
    bool labelCutOff(QTreeWidgetItem *item) const;

    TShellTree *m_tree;
    TTipSource *m_source;
    QTimer m_viewMoved;
    // The file under the pointer whose text was not known when its tooltip was asked for.
    TFilePath m_waitingPath;
    QFont m_font;
};
