// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/catalog.h"
#include "common/filepath.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class TCatalogThread;

// The tooltip of an archive: the first lines (at most 8) of its description; of an MP3 file:
// its artist and title (of the ID3v2 tag when the ID3v1 fields name neither). Empty when the index
// knows nothing to show.
QString tipText(const catalog::Entry &entry);

// Tooltip texts of files from the collection index, brought up to date in the background: a
// file new or changed since it was indexed is read again on the source's own thread.
class TTipSource : public QObject
{
    Q_OBJECT

public:
    explicit TTipSource(const QString &indexFile = catalog::defaultIndexPath(),
                        QObject *parent = nullptr);
    ~TTipSource() override;

    void setCustomListSource(std::function<QStringList()> source);

    // The text last known for the file, which may be empty; nothing when it is not known yet.
    std::optional<QString> text(const TFilePath &path) const;
    // Asks for the files' texts; ready() answers each. A request made while another is being
    // answered waits for it, joined with any others made meanwhile.
    void request(const QList<TFilePath> &paths);

signals:
    void ready(const TFilePath &path, const QString &text);

private:
    void startNext();
    void take(const QHash<TFilePath, QString> &texts, const QList<TFilePath> &asked);

    std::unique_ptr<TCatalogThread> m_thread;
    std::function<QStringList()> m_customList;
    QHash<TFilePath, QString> m_texts;
    QList<TFilePath> m_pending;
    QSet<TFilePath> m_pendingSet;
    bool m_busy = false;
};
