// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/store.h"

#include <algorithm>

namespace catalog {

namespace {

// The words of folded text: runs of letters and digits, as the full-text index splits them.
QStringList wordsOf(const QString &folded)
{
    QStringList words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool inWord = i < folded.size() && folded.at(i).isLetterOrNumber();
        if (inWord && start < 0)
            start = i;
        else if (!inWord && start >= 0) {
            words << folded.mid(start, i - start);
            start = -1;
        }
    }
    return words;
}

bool termIn(const Query::Term &term, const QStringList &words)
{
    const qsizetype n = term.words.size();
    for (qsizetype i = 0; i + n <= words.size(); ++i) {
        bool all = true;
        for (qsizetype k = 0; k < n && all; ++k) {
            const QString &want = term.words.at(k);
            const QString &have = words.at(i + k);
            all = (term.prefix && k == n - 1) ? have.startsWith(want) : have == want;
        }
        if (all)
            return true;
    }
    return false;
}

// The SQL condition that keeps entries within the scopes, and the values it binds in order.
QByteArray scopeCondition(const QList<Scope> &scopes, QList<QByteArray> &values)
{
    QByteArray sql;
    for (const Scope &scope : scopes) {
        const QByteArray path = absolutePath(scope.path);
        const QByteArray key = path.endsWith('/') ? path : path + '/';
        if (!sql.isEmpty())
            sql += " OR ";
        sql += "f.path = ? OR f.dir = ?";
        values << path << key;
        if (scope.recursive) {
            sql += " OR (f.dir > ? AND f.dir < ?)";
            values << key << folderKeyEnd(key);
        }
    }
    return sql.isEmpty() ? QByteArray("0") : sql;
}

} // namespace

QString foldText(const QString &text)
{
    // Character by character: whole-text normalisation would dominate a search with many hits.
    QString folded;
    folded.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            folded += c.toLower();
        } else if (c.decompositionTag() == QChar::Canonical) {
            for (const QChar part : c.decomposition().normalized(QString::NormalizationForm_D)) {
                if (part.category() != QChar::Mark_NonSpacing)
                    folded += part.toLower();
            }
        } else if (c.category() != QChar::Mark_NonSpacing) {
            folded += c.toLower();
        }
    }
    return folded;
}

Query Query::parse(const QString &text)
{
    Query query;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (text.at(i).isSpace()) {
            ++i;
            continue;
        }
        QString raw;
        bool phrase = false;
        Term term;
        // "-word" or -"a phrase": the files that hold it are left out.
        if (text.at(i) == QLatin1Char('-') && i + 1 < n && !text.at(i + 1).isSpace()) {
            term.excluded = true;
            ++i;
        }
        if (text.at(i) == QLatin1Char('"')) {
            const qsizetype close = text.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0) {
                query.m_error = QStringLiteral("a phrase is not closed with \"");
                return query;
            }
            raw = text.mid(i + 1, close - i - 1);
            phrase = true;
            i = close + 1;
        } else {
            const qsizetype start = i;
            while (i < n && !text.at(i).isSpace() && text.at(i) != QLatin1Char('"'))
                ++i;
            raw = text.mid(start, i - start);
        }
        if (i < n && text.at(i) == QLatin1Char('*') && phrase) {
            term.prefix = true;
            ++i;
        } else if (!phrase && raw.endsWith(QLatin1Char('*'))) {
            term.prefix = true;
            raw.chop(1);
        }
        if (raw.contains(QLatin1Char('*'))) {
            query.m_error = QStringLiteral("\"*\" may only end a word: %1").arg(raw);
            return query;
        }
        term.words = wordsOf(foldText(raw));
        if (term.words.isEmpty()) {
            if (term.prefix) {
                query.m_error = QStringLiteral("\"*\" must follow the beginning of a word");
                return query;
            }
            if (phrase) {
                query.m_error = QStringLiteral("an empty phrase matches nothing");
                return query;
            }
            continue; // punctuation alone is no word
        }
        query.m_terms << term;
    }
    const bool looksFor = std::any_of(query.m_terms.cbegin(), query.m_terms.cend(),
                                      [](const Term &term) { return !term.excluded; });
    if (query.m_terms.isEmpty())
        query.m_error = QStringLiteral("the query holds no word to look for");
    else if (!looksFor)
        query.m_error = QStringLiteral("-word only leaves out files: add a word to look for");
    return query;
}

QString Query::ftsExpression() const
{
    QStringList wanted, unwanted;
    for (const Term &term : m_terms) {
        // Folded words hold letters and digits only: quoting keeps AND, OR, NOT and NEAR words.
        QString part = QLatin1Char('"') + term.words.join(QLatin1Char(' ')) + QLatin1Char('"');
        if (term.prefix)
            part += QLatin1Char('*');
        (term.excluded ? unwanted : wanted) << part;
    }
    QString expression = wanted.join(QLatin1Char(' '));
    if (!unwanted.isEmpty())
        expression =
            QStringLiteral("(%1) NOT (%2)").arg(expression, unwanted.join(QStringLiteral(" OR ")));
    return expression;
}

bool Query::matches(const Entry &entry) const
{
    if (!isValid())
        return false;
    const QStringList name = wordsOf(foldText(entry.fileName()));
    const QStringList body = wordsOf(foldText(entry.body()));
    for (const Term &term : m_terms) {
        if (term.excluded == (termIn(term, name) || termIn(term, body)))
            return false;
    }
    return true;
}

QString Query::firstMatchingLine(const Entry &entry) const
{
    return matches(entry) ? matchingLine(entry) : QString();
}

QString Query::matchingLine(const Entry &entry) const
{
    for (const QString &line : entry.body().split(QLatin1Char('\n'))) {
        const QStringList words = wordsOf(foldText(line));
        for (const Term &term : m_terms) {
            if (!term.excluded && termIn(term, words))
                return line;
        }
    }
    const QStringList name = wordsOf(foldText(entry.fileName()));
    for (const Term &term : m_terms) {
        if (!term.excluded && termIn(term, name))
            return entry.fileName();
    }
    return QString();
}

void Store::visitEntries(const QList<Scope> &scopes,
                         const std::function<void(const Entry &)> &visit)
{
    QList<QByteArray> values;
    const QByteArray sql = QByteArray("SELECT ") + EntryColumns + " FROM files f WHERE " +
                           scopeCondition(scopes, values) + " ORDER BY f.path";
    sql::Statement s(m_db, sql.constData());
    for (int i = 0; i < values.size(); ++i)
        s.bind(i + 1, values.at(i));
    while (s.step()) {
        const Known known = readRow(s);
        if (known.sound)
            visit(known.entry);
    }
}

void Store::visitMatches(const QString &expression, const QList<Scope> &scopes, int limit,
                         const std::function<void(const Entry &)> &visit)
{
    QList<QByteArray> values;
    QByteArray sql = QByteArray("SELECT ") + EntryColumns +
                     " FROM texts JOIN files f ON f.id = texts.rowid WHERE texts MATCH ? AND (" +
                     scopeCondition(scopes, values) + ") ORDER BY bm25(texts), f.path";
    if (limit > 0)
        sql += " LIMIT " + QByteArray::number(limit);
    sql::Statement s(m_db, sql.constData());
    s.bind(1, expression);
    for (int i = 0; i < values.size(); ++i)
        s.bind(i + 2, values.at(i));
    while (s.step()) {
        const Known known = readRow(s);
        if (known.sound)
            visit(known.entry);
    }
}

void Index::forEachEntry(const QList<Scope> &scopes,
                         const std::function<void(const Entry &)> &visit) const
{
    m_store->visitEntries(scopes, visit);
}

QList<Entry> Index::entries(const QList<Scope> &scopes) const
{
    QList<Entry> list;
    forEachEntry(scopes, [&list](const Entry &entry) { list << entry; });
    return list;
}

QList<Hit> search(const Index &index, const Query &query, const QList<Scope> &scopes, int limit)
{
    if (!query.isValid())
        return {};
    QList<Hit> hits;
    index.store().visitMatches(query.ftsExpression(), scopes, limit, [&](const Entry &entry) {
        // A damaged text index may name a row that does not match: the entry decides.
        QString line = query.firstMatchingLine(entry);
        if (!line.isNull())
            hits << Hit{entry, line};
    });
    return hits;
}

} // namespace catalog
