// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the folders given on the command line in a tree that shows files with the masks of
// the main window and prints how long the reads took, in milliseconds: the first read (the
// way to the folder and the folder itself) and a re-read when the folder is expanded again.
#include "widgets/shelltree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList folders = app.arguments().mid(1);
    QTextStream out(stdout);
    TShellTree tree;
    tree.setUpdAutoThread(false);
    tree.setOptions(TShellTree::TF_FOLDERS | TShellTree::TF_NONFOLDERS);
    tree.setFileMask(QStringLiteral("*.zip;*.mp3"));
    tree.setFileMaskUse(true);
    qint64 total = 0;
    for (const QString &folder : folders) {
        QElapsedTimer timer;
        timer.start();
        tree.setPath(folder);
        const qint64 first = timer.elapsed();
        QTreeWidgetItem *node = tree.currentItem();
        if (tree.path() != folder || !node) {
            out << "cannot select " << folder << Qt::endl;
            return 1;
        }
        node->setExpanded(false);
        timer.restart();
        node->setExpanded(true);
        const qint64 again = timer.elapsed();
        total += first;
        out << folder << ": " << node->childCount() << " nodes, first read " << first
            << " ms, re-read " << again << " ms" << Qt::endl;
    }
    out << "total " << total << Qt::endl;
    return 0;
}
