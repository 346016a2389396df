// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/catalog.h"
#include "common/filepath.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class TCatalogThread;
class TFindResults;

// What the find window does without its widgets: brings the index up to date for the folder
// it looks in (on a thread of its own, with progress and cancel), runs the query typed (on
// another thread, so that a query answers while indexing writes), and keeps the result rows:
// what the index already holds at once, files matching as indexing delivers them, and the
// ranked answer once indexing is over.
class TFindSession : public QObject
{
    Q_OBJECT

public:
    // At most this many rows: the best matches.
    static constexpr int ResultLimit = 1000;

    explicit TFindSession(const QString &indexFile = catalog::defaultIndexPath(),
                          QObject *parent = nullptr);
    ~TFindSession() override;

    TFindResults *results() const { return m_results; }
    // The user's custom description names, asked for when an indexing run starts.
    void setCustomListSource(std::function<QStringList()> source);
    // The pause after a keystroke before the query runs, so that typing is not held up.
    void setDebounce(int milliseconds);

    // The folder to look in. Starts an indexing run when the scope changed or `reindex` is set;
    // a run in progress for another scope is cancelled. A new scope clears the rows at once.
    void setScope(const TFilePath &folder, bool recursive, bool reindex = false);
    TFilePath folder() const { return m_folder; }
    bool recursive() const { return m_recursive; }

    // The query text; runs after the debounce pause. An empty text clears the rows. When the
    // last reading was cancelled, reading starts again for what is still unread.
    void setQueryText(const QString &text);
    // Runs the pending query now instead of after the pause.
    void flushQuery();
    // Why the query text cannot be run; empty when it can.
    QString queryError() const { return m_queryError; }

    void cancel();
    bool isIndexing() const { return m_indexing; }
    // Whether the last reading of the folder was cancelled, so that rows may be missing.
    bool isIncomplete() const { return m_incomplete; }
    // Whether the query typed last has been answered (by the index, not only by files as
    // indexing delivered them).
    bool isAnswered() const { return m_answered; }
    // Whether the rows were cut at ResultLimit.
    bool isLimited() const { return m_limited; }

signals:
    void progress(qint64 done, qint64 found);
    void indexingChanged(bool running);
    // The rows now answer the query typed last.
    void answered();
    void queryErrorChanged(const QString &error);
    // The index could not be used, or was moved aside and begun anew.
    void problem(const QString &message);

private:
    void startIndexing();
    void runQuery();
    void takeEntries(quint64 generation, const QList<catalog::Entry> &entries);
    void drainBacklog();
    void takeEntry(const catalog::Entry &entry);
    void takeHits(quint64 generation, const QList<catalog::Hit> &hits);
    void indexingDone(quint64 generation);
    bool inScope(const QByteArray &path) const;
    std::function<void(const QString &)> problemReporter();

    TFindResults *m_results;
    std::unique_ptr<TCatalogThread> m_indexThread;
    std::unique_ptr<TCatalogThread> m_queryThread;
    std::function<QStringList()> m_customList;
    QTimer m_debounce;

    TFilePath m_folder;
    bool m_recursive = true;
    QByteArray m_scopeKey; // the folder's path bytes with a final "/"
    QString m_text;
    catalog::Query m_query;
    QString m_queryError;
    bool m_answered = true;
    bool m_limited = false;

    bool m_indexing = false;
    // Entries delivered by indexing and not matched yet, and whether their matching is queued.
    QList<catalog::Entry> m_backlog;
    bool m_draining = false;
    bool m_incomplete = false;
    quint64 m_indexGeneration = 0;
    quint64 m_queryGeneration = 0;
    // The query typed last, as the query thread sees it.
    std::shared_ptr<std::atomic<quint64>> m_latestQuery = std::make_shared<std::atomic<quint64>>(0);
    // The run in progress, for Cancel from this thread; shared with the indexing thread.
    struct Run;
    std::shared_ptr<Run> m_run;
};
