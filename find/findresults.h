// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/catalog.h"
#include "common/filepath.h"

#include <QAbstractTableModel>
#include <QHash>

// The files a search found, one row each: file name, folder, first matching line. Rows are
// keyed by path, so a file found again (indexing delivered it afresh) updates its row.
class TFindResults : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { FileColumn, FolderColumn, LineColumn, ColumnCount };

    explicit TFindResults(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void setHeaders(const QStringList &captions);
    // Replaces every row, best match first.
    void setHits(const QList<catalog::Hit> &hits);
    // Adds a row at the end, or updates the row of the same path in place.
    void addHit(const catalog::Hit &hit);
    // Drops the row of `path`, if any.
    void removePath(const TFilePath &path);
    void clear();

    // The path of a row (empty for no row); -1 from rowOf when the path has no row.
    TFilePath pathAt(int row) const;
    const catalog::Hit &hitAt(int row) const { return m_hits.at(row); }
    int rowOf(const TFilePath &path) const;

private:
    void reindex();

    QList<catalog::Hit> m_hits;
    QHash<TFilePath, int> m_rows;
    QStringList m_headers;
};
