// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/findresults.h"

TFindResults::TFindResults(QObject *parent)
    : QAbstractTableModel(parent), m_headers{QStringLiteral("File"), QStringLiteral("Folder"),
                                             QStringLiteral("Line")}
{}

int TFindResults::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

int TFindResults::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TFindResults::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_hits.size())
        return {};
    const catalog::Hit &hit = m_hits.at(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case FileColumn:
            return hit.entry.fileName();
        case FolderColumn:
            return TFilePath(hit.entry.path).folder().display();
        case LineColumn:
            return hit.match.trimmed(); // a description's indentation says nothing here
        }
    } else if (role == Qt::ToolTipRole) {
        return index.column() == LineColumn ? hit.match : hit.entry.displayPath();
    }
    return {};
}

QVariant TFindResults::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TFindResults::setHeaders(const QStringList &captions)
{
    m_headers = captions;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

void TFindResults::setHits(const QList<catalog::Hit> &hits)
{
    beginResetModel();
    m_hits = hits;
    reindex();
    endResetModel();
}

void TFindResults::addHit(const catalog::Hit &hit)
{
    const int row = rowOf(TFilePath(hit.entry.path));
    if (row >= 0) {
        m_hits[row] = hit;
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        return;
    }
    const int end = int(m_hits.size());
    beginInsertRows(QModelIndex(), end, end);
    m_hits.append(hit);
    m_rows.insert(TFilePath(hit.entry.path), end);
    endInsertRows();
}

void TFindResults::removePath(const TFilePath &path)
{
    const int row = rowOf(path);
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_hits.removeAt(row);
    reindex();
    endRemoveRows();
}

void TFindResults::clear()
{
    setHits({});
}

TFilePath TFindResults::pathAt(int row) const
{
    return row >= 0 && row < m_hits.size() ? TFilePath(m_hits.at(row).entry.path) : TFilePath();
}

int TFindResults::rowOf(const TFilePath &path) const
{
    return m_rows.value(path, -1);
}

void TFindResults::reindex()
{
    m_rows.clear();
    for (int i = 0; i < m_hits.size(); ++i)
        m_rows.insert(TFilePath(m_hits.at(i).entry.path), i);
}
