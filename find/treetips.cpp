// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/treetips.h"

#include "find/tipsource.h"
#include "widgets/shelltree.h"

#include <QCursor>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

TTreeTips::TTreeTips(TShellTree *tree, TTipSource *source)
    : QObject(tree), m_tree(tree), m_source(source)
{
    m_viewMoved.setSingleShot(true);
    m_viewMoved.setInterval(150);
    connect(&m_viewMoved, &QTimer::timeout, this, &TTreeTips::requestVisible);
    auto moved = [this] { m_viewMoved.start(); };
    connect(tree->verticalScrollBar(), &QScrollBar::valueChanged, this, moved);
    connect(tree, &QTreeWidget::itemExpanded, this, moved);
    connect(tree->model(), &QAbstractItemModel::rowsInserted, this, moved);
    connect(tree->model(), &QAbstractItemModel::modelReset, this, moved);
    connect(source, &TTipSource::ready, this, &TTreeTips::arrived);
    tree->viewport()->installEventFilter(this);
    m_font = tree->font();
}

void TTreeTips::requestVisible()
{
    QList<TFilePath> paths;
    const int height = m_tree->viewport()->height();
    QTreeWidgetItem *item = m_tree->itemAt(QPoint(1, 1));
    while (item) {
        const QRect rect = m_tree->visualItemRect(item);
        if (rect.top() >= height)
            break;
        const TFilePath path = pathOf(item);
        if (!path.isEmpty())
            paths << path;
        item = m_tree->itemBelow(item);
    }
    if (!paths.isEmpty())
        m_source->request(paths);
}

bool TTreeTips::labelCutOff(QTreeWidgetItem *item) const
{
    const QRect rect = m_tree->visualItemRect(item);
    const int visibleRight = qMin(m_tree->viewport()->width(), rect.right());
    const int needed = rect.left() + m_tree->iconSize().width() + 8 +
                       m_tree->fontMetrics().horizontalAdvance(item->text(0));
    return needed > visibleRight;
}

QString TTreeTips::tipFor(QTreeWidgetItem *item) const
{
    const TFilePath path = pathOf(item);
    if (path.isEmpty())
        return {};
    const QString text = m_source->text(path).value_or(QString());
    if (text.isEmpty())
        return {};
    // Rich text, so that the description keeps its own font while other tooltips keep theirs.
    const QString size = m_font.pointSizeF() > 0
                             ? QString::number(m_font.pointSizeF()) + QStringLiteral("pt")
                             : QString::number(m_font.pixelSize()) + QStringLiteral("px");
    QString tip = QStringLiteral("<qt><pre style=\"font-family:'%1'; font-size:%2; margin:0\">%3")
                      .arg(m_font.family().toHtmlEscaped(), size, text.toHtmlEscaped());
    if (labelCutOff(item))
        tip += QStringLiteral("\n\n") + item->text(0).toHtmlEscaped();
    return tip + QStringLiteral("</pre></qt>");
}

void TTreeTips::setTextFont(const QFont &font)
{
    m_font = font;
}

bool TTreeTips::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_tree->viewport() || event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    QTreeWidgetItem *item = m_tree->itemAt(help->pos());
    const TFilePath path = pathOf(item);
    if (path.isEmpty())
        return false;
    // Asked again each time: a file changed since (a description saved) is read anew, and
    // the tooltip follows when the new text differs.
    m_waitingPath = path;
    m_source->request({path});
    const QString tip = tipFor(item);
    if (tip.isEmpty())
        return false; // the tree's own tooltip, if any, until the index answers
    QToolTip::showText(help->globalPos(), tip, m_tree->viewport(), m_tree->visualItemRect(item));
    return true;
}

TFilePath TTreeTips::pathOf(QTreeWidgetItem *item) const
{
    return item ? TFilePath::fromPath(m_tree->filePath(item)) : TFilePath();
}

void TTreeTips::arrived(const TFilePath &path, const QString &text)
{
    if (path != m_waitingPath)
        return;
    m_waitingPath = {};
    if (text.isEmpty())
        return;
    // Shown only while the pointer still rests on that file.
    const QPoint pos = m_tree->viewport()->mapFromGlobal(QCursor::pos());
    QTreeWidgetItem *item = m_tree->itemAt(pos);
    if (!item || pathOf(item) != path || !m_tree->viewport()->underMouse())
        return;
    const QString tip = tipFor(item);
    if (QToolTip::isVisible() && QToolTip::text() == tip)
        return;
    QToolTip::showText(QCursor::pos(), tip, m_tree->viewport(), m_tree->visualItemRect(item));
}
