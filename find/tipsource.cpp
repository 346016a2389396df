// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/tipsource.h"

#include "find/catalogthread.h"

#include <QMetaObject>
#include <QPointer>

namespace {

constexpr int TipLines = 8;
// Files asked for in one run of the indexer; the rest wait for the next.
constexpr int BatchFiles = 200;

} // namespace

QString tipText(const catalog::Entry &entry)
{
    if (entry.kind == catalog::Kind::Mp3) {
        QString artist = entry.artist.trimmed();
        QString title = entry.title.trimmed();
        // A file tagged only in ID3v2 is named by that tag.
        if (artist.isEmpty() && title.isEmpty()) {
            artist = entry.detail(QStringLiteral("id3v2.artist")).trimmed();
            title = entry.detail(QStringLiteral("id3v2.title")).trimmed();
        }
        if (artist.isEmpty() || title.isEmpty())
            return artist + title;
        return artist + QStringLiteral(" \u2013 ") + title;
    }
    if (!entry.description)
        return {};
    QStringList lines = entry.description->split(QLatin1Char('\n'));
    // Lines of blanks at the top of a description say nothing in a tooltip.
    while (!lines.isEmpty() && lines.constFirst().trimmed().isEmpty())
        lines.removeFirst();
    const bool more = lines.size() > TipLines;
    lines = lines.mid(0, TipLines);
    for (QString &line : lines) {
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    if (more)
        lines << QStringLiteral("\u2026");
    return lines.join(QLatin1Char('\n'));
}

TTipSource::TTipSource(const QString &indexFile, QObject *parent)
    : QObject(parent), m_thread(std::make_unique<TCatalogThread>(indexFile))
{}

TTipSource::~TTipSource()
{
    m_thread.reset();
}

void TTipSource::setCustomListSource(std::function<QStringList()> source)
{
    m_customList = std::move(source);
}

std::optional<QString> TTipSource::text(const TFilePath &path) const
{
    const auto it = m_texts.constFind(path);
    if (it == m_texts.constEnd())
        return std::nullopt;
    return *it;
}

void TTipSource::request(const QList<TFilePath> &paths)
{
    for (const TFilePath &path : paths) {
        if (!m_pendingSet.contains(path)) {
            m_pendingSet.insert(path);
            m_pending << path;
        }
    }
    if (!m_busy)
        startNext();
}

void TTipSource::startNext()
{
    if (m_pending.isEmpty())
        return;
    const QList<TFilePath> asked = m_pending.mid(0, BatchFiles);
    m_pending = m_pending.mid(asked.size());
    for (const TFilePath &path : asked)
        m_pendingSet.remove(path);
    m_busy = true;

    catalog::IndexOptions options;
    options.threads = 1;
    if (m_customList)
        options.customList = m_customList();
    QList<QByteArray> files;
    for (const TFilePath &path : asked)
        files << path.bytes();

    QPointer<TTipSource> self(this);
    m_thread->post(
        [self, options, files, asked](catalog::Index &index) {
            // Files unchanged since they were indexed are only looked at, not read.
            QHash<TFilePath, QString> texts;
            catalog::Indexer indexer(index, options);
            indexer.onEntry = [&texts](const catalog::Entry &entry) {
                texts.insert(TFilePath(entry.path), tipText(entry));
            };
            indexer.run(files);
            QMetaObject::invokeMethod(self, [self, texts, asked] {
                if (self)
                    self->take(texts, asked);
            });
        },
        [self, asked](const QString &) {
            // Without an index there are no tooltips; the tree works as before.
            QMetaObject::invokeMethod(self, [self, asked] {
                if (self)
                    self->take({}, asked);
            });
        });
}

void TTipSource::take(const QHash<TFilePath, QString> &texts, const QList<TFilePath> &asked)
{
    m_busy = false;
    for (const TFilePath &path : asked) {
        const QString text = texts.value(path);
        m_texts.insert(path, text);
        emit ready(path, text);
    }
    startNext();
}
