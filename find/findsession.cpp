// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/findsession.h"

#include "find/catalogthread.h"
#include "find/findresults.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>

#include <mutex>

namespace {

// Entries found while indexing reach the window in batches, at most this often.
constexpr qint64 DeliveryMs = 100;
// Entries delivered are matched on the window's thread at most this long at a time.
constexpr qint64 SliceMs = 8;

} // namespace

// Cancel reaches the indexer through here: the indexer exists only while its run does.
struct TFindSession::Run
{
    std::mutex mutex;
    catalog::Indexer *indexer = nullptr;
    bool cancelled = false;

    void cancel()
    {
        std::lock_guard lock(mutex);
        cancelled = true;
        if (indexer)
            indexer->cancel();
    }
};

TFindSession::TFindSession(const QString &indexFile, QObject *parent)
    : QObject(parent), m_results(new TFindResults(this)),
      m_indexThread(std::make_unique<TCatalogThread>(indexFile, problemReporter())),
      m_queryThread(std::make_unique<TCatalogThread>(indexFile))
{
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(20);
    connect(&m_debounce, &QTimer::timeout, this, &TFindSession::runQuery);
}

TFindSession::~TFindSession()
{
    if (m_run)
        m_run->cancel();
    // The threads end (after the work they hold) before the session they report to.
    m_indexThread.reset();
    m_queryThread.reset();
}

void TFindSession::setCustomListSource(std::function<QStringList()> source)
{
    m_customList = std::move(source);
}

void TFindSession::setDebounce(int milliseconds)
{
    m_debounce.setInterval(milliseconds);
}

std::function<void(const QString &)> TFindSession::problemReporter()
{
    QPointer<TFindSession> self(this);
    return [self](const QString &message) {
        QMetaObject::invokeMethod(self, [self, message] {
            if (self)
                emit self->problem(message);
        });
    };
}

void TFindSession::setScope(const TFilePath &folder, bool recursive, bool reindex)
{
    const bool changed = folder != m_folder || recursive != m_recursive;
    if (!changed && !reindex)
        return;
    m_folder = folder;
    m_recursive = recursive;
    const QByteArray path = catalog::absolutePath(folder.bytes());
    m_scopeKey = path.endsWith('/') ? path : path + '/';
    if (changed) {
        // The previous folder's rows say nothing about this one.
        m_results->clear();
        m_limited = false;
        if (!m_text.isEmpty())
            runQuery();
    }
    startIndexing();
}

void TFindSession::setQueryText(const QString &text)
{
    m_text = text;
    m_answered = false;
    m_debounce.start();
    // What a cancelled reading left unread is read now, so that it can be found.
    if (m_incomplete && !m_indexing && !text.trimmed().isEmpty())
        startIndexing();
}

void TFindSession::flushQuery()
{
    if (m_debounce.isActive()) {
        m_debounce.stop();
        runQuery();
    }
}

void TFindSession::cancel()
{
    if (m_run)
        m_run->cancel();
}

bool TFindSession::inScope(const QByteArray &path) const
{
    if (!path.startsWith(m_scopeKey))
        return false;
    return m_recursive || path.indexOf('/', m_scopeKey.size()) < 0;
}

void TFindSession::startIndexing()
{
    if (m_run)
        m_run->cancel();
    if (m_folder.isEmpty())
        return;
    const quint64 generation = ++m_indexGeneration;
    m_backlog.clear();
    auto run = std::make_shared<Run>();
    m_run = run;
    catalog::IndexOptions options;
    options.recursive = m_recursive;
    if (m_customList)
        options.customList = m_customList();
    const QByteArray folder = m_folder.bytes();
    m_incomplete = false;
    if (!m_indexing) {
        m_indexing = true;
        emit indexingChanged(true);
    }
    emit progress(0, 0);

    QPointer<TFindSession> self(this);
    const auto report = problemReporter();
    m_indexThread->post(
        [self, run, options, folder, generation, report](catalog::Index &index) {
            catalog::Indexer indexer(index, options);
            {
                std::lock_guard lock(run->mutex);
                if (run->cancelled)
                    return;
                run->indexer = &indexer;
            }
            QList<catalog::Entry> batch;
            QElapsedTimer sinceDelivery;
            sinceDelivery.start();
            auto deliver = [&] {
                if (batch.isEmpty())
                    return;
                QMetaObject::invokeMethod(self, [self, generation, entries = std::move(batch)] {
                    if (self)
                        self->takeEntries(generation, entries);
                });
                batch.clear();
                sinceDelivery.restart();
            };
            indexer.onEntry = [&](const catalog::Entry &entry) {
                batch << entry;
                if (sinceDelivery.elapsed() >= DeliveryMs)
                    deliver();
            };
            indexer.onProgress = [&](const catalog::Progress &p) {
                deliver();
                QMetaObject::invokeMethod(self, [self, generation, p] {
                    if (self && generation == self->m_indexGeneration)
                        emit self->progress(p.done, p.found);
                });
            };
            struct Detach
            {
                Run &run;
                ~Detach()
                {
                    std::lock_guard lock(run.mutex);
                    run.indexer = nullptr;
                }
            } detach{*run};
            const catalog::IndexSummary summary = indexer.run({folder});
            deliver();
            // A folder that is missing or cannot be read is said so, not shown as empty.
            if (!summary.problems.isEmpty())
                report(summary.problems.constFirst());
        },
        report);
    // Queued after the run: the indexing thread has finished it (or failed) when this comes.
    m_indexThread->post(
        [self, generation](catalog::Index &) {
            QMetaObject::invokeMethod(self, [self, generation] {
                if (self)
                    self->indexingDone(generation);
            });
        },
        [self, generation](const QString &) {
            QMetaObject::invokeMethod(self, [self, generation] {
                if (self)
                    self->indexingDone(generation);
            });
        });
}

void TFindSession::indexingDone(quint64 generation)
{
    if (generation != m_indexGeneration)
        return;
    m_incomplete = m_run && m_run->cancelled;
    m_run.reset();
    m_indexing = false;
    emit indexingChanged(false);
    // The ranked answer over everything indexed now, and without files that vanished.
    if (!m_text.isEmpty() && !m_debounce.isActive())
        runQuery();
}

void TFindSession::runQuery()
{
    m_debounce.stop();
    const quint64 generation = ++m_queryGeneration;
    *m_latestQuery = generation;
    m_query = catalog::Query::parse(m_text);
    const QString error =
        m_text.trimmed().isEmpty() || m_query.isValid() ? QString() : m_query.error();
    if (error != m_queryError) {
        m_queryError = error;
        emit queryErrorChanged(error);
    }
    if (m_text.trimmed().isEmpty() || !m_query.isValid() || m_folder.isEmpty()) {
        m_results->clear();
        m_limited = false;
        m_answered = true;
        emit answered();
        return;
    }
    m_answered = false;
    const catalog::Query query = m_query;
    const QList<catalog::Scope> scopes{{m_folder.bytes(), m_recursive}};
    QPointer<TFindSession> self(this);
    m_queryThread->post(
        [self, generation, query, scopes, latest = m_latestQuery](catalog::Index &index) {
            // A query typed over by the next one is not run at all.
            if (*latest != generation)
                return;
            const QList<catalog::Hit> hits = catalog::search(index, query, scopes, ResultLimit);
            QMetaObject::invokeMethod(self, [self, generation, hits] {
                if (self)
                    self->takeHits(generation, hits);
            });
        },
        [self, generation](const QString &message) {
            QMetaObject::invokeMethod(self, [self, generation, message] {
                if (!self)
                    return;
                emit self->problem(message);
                self->takeHits(generation, {});
            });
        });
}

void TFindSession::takeHits(quint64 generation, const QList<catalog::Hit> &hits)
{
    if (generation != m_queryGeneration)
        return;
    // Rows that indexing delivered and the index did not hold yet when it answered stay, at
    // the end, while they match.
    QList<catalog::Hit> rows = hits;
    if (!m_indexing)
        m_backlog.clear(); // the ranked answer holds every file the run delivered
    if (m_indexing) {
        QSet<QByteArray> known;
        for (const catalog::Hit &hit : hits)
            known.insert(hit.entry.path);
        for (int row = 0; row < m_results->rowCount() && rows.size() < ResultLimit; ++row) {
            const catalog::Hit &shown = m_results->hitAt(row);
            if (!known.contains(shown.entry.path) && m_query.matches(shown.entry))
                rows << catalog::Hit{shown.entry, m_query.firstMatchingLine(shown.entry)};
        }
    }
    m_limited = hits.size() >= ResultLimit;
    m_results->setHits(rows);
    m_answered = true;
    emit answered();
}

void TFindSession::takeEntries(quint64 generation, const QList<catalog::Entry> &entries)
{
    if (generation != m_indexGeneration || !m_query.isValid() || m_text.trimmed().isEmpty())
        return;
    m_backlog += entries;
    if (!m_draining)
        drainBacklog();
}

// Matching a batch at once held the window up for tens of milliseconds: the entries are
// matched a slice at a time, and the window's other events come between the slices.
void TFindSession::drainBacklog()
{
    m_draining = false;
    QElapsedTimer slice;
    slice.start();
    qsizetype done = 0;
    while (done < m_backlog.size() && slice.elapsed() < SliceMs)
        takeEntry(m_backlog.at(done++));
    m_backlog.remove(0, done);
    if (!m_backlog.isEmpty()) {
        m_draining = true;
        QMetaObject::invokeMethod(this, &TFindSession::drainBacklog, Qt::QueuedConnection);
    }
}

void TFindSession::takeEntry(const catalog::Entry &entry)
{
    if (!m_query.isValid() || m_text.trimmed().isEmpty() || !inScope(entry.path))
        return;
    const TFilePath path(entry.path);
    // With every row taken, a file that has no row changes nothing until the ranked answer.
    const bool shown = m_results->rowOf(path) >= 0;
    if (!shown && m_results->rowCount() >= ResultLimit)
        return;
    if (m_query.matches(entry))
        m_results->addHit({entry, m_query.matchingLine(entry)});
    else if (shown)
        m_results->removePath(path);
}
