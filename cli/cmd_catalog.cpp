// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/catalog.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "settings/customlist.h"

#include "common/pathbytes.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <functional>

#include <unistd.h>

namespace {

enum class Format { Text, Json, Csv };

struct Request
{
    bool recursive = false;
    bool noCache = false;
    Format format = Format::Text;
    QString query; // search only
    QList<QByteArray> paths;
};

catalog::Indexer *volatile g_running = nullptr;
volatile sig_atomic_t g_interrupted = 0;

void interrupted(int)
{
    g_interrupted = 1;
    if (catalog::Indexer *indexer = g_running)
        indexer->cancel();
}

// Ctrl+C asks the run to stop, also while the index is being opened; a second one ends the
// program at once.
struct InterruptScope
{
    InterruptScope()
    {
        struct sigaction action = {};
        action.sa_handler = interrupted;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous);
    }
    ~InterruptScope()
    {
        sigaction(SIGINT, &previous, nullptr);
        g_running = nullptr;
    }
    struct sigaction previous = {};
};

// Parses the options shared by both commands; -1 to go on, else the exit code to end with.
int parse(const QStringList &args, bool search, Request &request)
{
    CliSyntax syntax{
        search ? QStringLiteral("search") : QStringLiteral("catalog"),
        search ? QStringLiteral("QUERY PATH...") : QStringLiteral("PATH..."),
        {cliOption(QStringLiteral("recursive"),
                   QStringLiteral("Look into folders at every level.")),
         cliOption(QStringLiteral("format"), QStringLiteral("How each file is printed."),
                   search ? QStringLiteral("text|json") : QStringLiteral("text|json|csv"))}};
    if (!search)
        syntax.options << cliOption(QStringLiteral("no-cache"),
                                    QStringLiteral("Neither read nor write the collection index."));
    QCommandLineParser parser;
    if (const int end = cliParse(parser, syntax, args); end >= 0)
        return end;
    request.recursive = parser.isSet(QStringLiteral("recursive"));
    request.noCache = !search && parser.isSet(QStringLiteral("no-cache"));
    const QString format = parser.value(QStringLiteral("format"));
    if (format.isEmpty() || format == QLatin1String("text"))
        request.format = Format::Text;
    else if (format == QLatin1String("json"))
        request.format = Format::Json;
    else if (format == QLatin1String("csv") && !search)
        request.format = Format::Csv;
    else
        return cliUsageError(syntax, QStringLiteral("unknown format \"%1\"").arg(format));
    QStringList positional = parser.positionalArguments();
    if (search && !positional.isEmpty())
        request.query = positional.takeFirst();
    if (positional.isEmpty())
        return cliUsageError(syntax, search ? QStringLiteral("a query and at least one path are "
                                                             "needed")
                                            : QStringLiteral("at least one path is needed"));
    // Arguments hold the bytes they were given; the file system gets them back exactly.
    for (const QString &path : positional)
        request.paths << pathbytes::encode(path);
    return -1;
}

// ---- output ----

class Out
{
public:
    Out() { m_buffer.reserve(1 << 16); }
    ~Out() { flush(); }
    Out &operator<<(const QByteArray &bytes)
    {
        m_buffer += bytes;
        if (m_buffer.size() > (1 << 16))
            flush();
        return *this;
    }
    Out &operator<<(const char *text) { return *this << QByteArray(text); }
    Out &operator<<(const QString &text) { return *this << text.toUtf8(); }
    void flush()
    {
        std::fwrite(m_buffer.constData(), 1, size_t(m_buffer.size()), stdout);
        std::fflush(stdout);
        m_buffer.clear();
    }

private:
    QByteArray m_buffer;
};

void jsonEscapeAscii(QByteArray &out, char c)
{
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (uchar(c) < 0x20) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\u%04x", unsigned(uchar(c)));
        out += hex;
    } else {
        out += c;
    }
}

// The length of the valid UTF-8 sequence at `i`, or 0 when the byte there begins none.
int utf8Length(const QByteArray &bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return k < bytes.size() ? uchar(bytes[k]) : 0u; };
    const uint b = at(i);
    const auto cont = [&](qsizetype k) { return (at(k) & 0xc0u) == 0x80u; };
    if (b < 0x80)
        return 1;
    if (b >= 0xc2 && b <= 0xdf)
        return cont(i + 1) ? 2 : 0;
    if (b >= 0xe0 && b <= 0xef) {
        const uint b1 = at(i + 1);
        if ((b == 0xe0 && b1 < 0xa0) || (b == 0xed && b1 >= 0xa0))
            return 0;
        return cont(i + 1) && cont(i + 2) ? 3 : 0;
    }
    if (b >= 0xf0 && b <= 0xf4) {
        const uint b1 = at(i + 1);
        if ((b == 0xf0 && b1 < 0x90) || (b == 0xf4 && b1 >= 0x90))
            return 0;
        return cont(i + 1) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

// A JSON string of bytes: valid UTF-8 as it is, every other byte as an escaped lone surrogate
// U+DC80..U+DCFF (the convention of Python's os.fsdecode), so the exact bytes can be recovered.
QByteArray jsonBytes(const QByteArray &bytes)
{
    QByteArray out("\"");
    for (qsizetype i = 0; i < bytes.size();) {
        const int n = utf8Length(bytes, i);
        if (n == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\udc%02x", unsigned(uchar(bytes[i])));
            out += hex;
            ++i;
        } else if (n == 1) {
            jsonEscapeAscii(out, bytes[i++]);
        } else {
            out.append(bytes.constData() + i, n);
            i += n;
        }
    }
    return out + '"';
}

QByteArray jsonText(const std::optional<QString> &text)
{
    return text ? jsonBytes(text->toUtf8()) : QByteArray("null");
}

QByteArray csvField(const QByteArray &bytes)
{
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    QByteArray quoted = bytes;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QByteArray csvText(const std::optional<QString> &text)
{
    return text ? csvField(text->toUtf8()) : QByteArray();
}

qint64 mtimeSeconds(const catalog::Entry &e)
{
    return e.mtimeNs >= 0 ? e.mtimeNs / 1000000000 : -((-e.mtimeNs + 999999999) / 1000000000);
}

QByteArray jsonObject(const catalog::Entry &e, const std::optional<QString> &match = {})
{
    using catalog::Kind;
    QByteArray o = "{\"path\": " + jsonBytes(e.path);
    o += e.kind == Kind::Zip ? ", \"kind\": \"zip\"" : ", \"kind\": \"mp3\"";
    o += ", \"size\": " + QByteArray::number(e.size);
    o += ", \"mtime\": " + QByteArray::number(mtimeSeconds(e));
    if (e.kind == Kind::Zip) {
        o += ", \"members\": " +
             (e.members >= 0 ? QByteArray::number(e.members) : QByteArray("null"));
        o += ", \"member\": " + jsonText(e.member);
        o += ", \"description\": " + jsonText(e.description);
    } else {
        const bool read = !e.error && e.detail(QStringLiteral("id3v1")) != QLatin1String("none");
        const auto field = [read](const QString &value) {
            return read ? std::optional<QString>(value) : std::nullopt;
        };
        o += ", \"title\": " + jsonText(field(e.title));
        o += ", \"artist\": " + jsonText(field(e.artist));
        o += ", \"album\": " + jsonText(field(e.album));
        o += ", \"year\": " + jsonText(field(e.year));
        o += ", \"comment\": " + jsonText(field(e.comment));
        o += ", \"genre\": " + jsonText(field(e.genre));
        o += ", \"track\": " + (e.track > 0 ? QByteArray::number(e.track) : QByteArray("null"));
    }
    o += ", \"format\": " + jsonText(e.format);
    if (!e.details.isEmpty()) {
        QByteArray details;
        for (const auto &[key, value] : e.details)
            details += (details.isEmpty() ? "" : ", ") + jsonText(key) + ": " + jsonText(value);
        o += ", \"details\": {" + details + "}";
    }
    o += ", \"error\": " + jsonText(e.error);
    if (match)
        o += ", \"match\": " + jsonText(match);
    return o + "}\n";
}

const char *const CsvHeader = "path,kind,size,mtime,members,member,description,title,artist,"
                              "album,year,comment,genre,track,error,format,details\n";

QByteArray csvRow(const catalog::Entry &e)
{
    using catalog::Kind;
    const bool zip = e.kind == Kind::Zip;
    QList<QByteArray> f{csvField(e.path), zip ? "zip" : "mp3", QByteArray::number(e.size),
                        QByteArray::number(mtimeSeconds(e))};
    f << (zip && e.members >= 0 ? QByteArray::number(e.members) : QByteArray());
    f << csvText(e.member) << csvText(e.description);
    for (const QString *field : {&e.title, &e.artist, &e.album, &e.year, &e.comment, &e.genre})
        f << (zip || e.error ? QByteArray() : csvField(field->toUtf8())); // none when untagged
    f << (e.track > 0 ? QByteArray::number(e.track) : QByteArray());
    f << csvText(e.error) << csvField(e.format.toUtf8());
    QStringList details;
    for (const auto &[key, value] : e.details)
        details << key + QLatin1Char('=') + value;
    f << csvField(details.join(QLatin1Char('\n')).toUtf8());
    return f.join(',') + '\n';
}

// A path for a terminal: its bytes as they are, control characters escaped.
QByteArray terminalPath(const QByteArray &path)
{
    return pathbytes::encode(escapedControls(pathbytes::decode(path)));
}

QByteArray textBlock(const catalog::Entry &e)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(e.mtimeNs / 1000000);
    QByteArray block = terminalPath(e.path) + "  " + QByteArray::number(e.size) + "  " +
                       time.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toUtf8() + '\n';
    QStringList lines;
    if (e.error) {
        lines << QStringLiteral("(cannot be read: %1)").arg(*e.error);
    } else if (e.kind == catalog::Kind::Zip) {
        if (e.description)
            lines << e.description->split(QLatin1Char('\n'));
        else
            lines << QStringLiteral("(no description)");
        if (!e.detail(QStringLiteral("truncated")).isEmpty())
            lines << QStringLiteral("(the description goes on; the index keeps its first 64 KiB)");
    } else if (e.detail(QStringLiteral("id3v1")) == QLatin1String("none")) {
        lines << QStringLiteral("(no ID3v1 tag)");
    } else {
        const QList<QPair<const char *, QString>> fields{
            {"Title", e.title},
            {"Artist", e.artist},
            {"Album", e.album},
            {"Year", e.year},
            {"Comment", e.comment},
            {"Genre", e.genre},
            {"Track", e.track > 0 ? QString::number(e.track) : QString()}};
        for (const auto &[label, value] : fields) {
            if (!value.isEmpty())
                lines << QLatin1String(label) + QStringLiteral(": ") + value;
        }
    }
    for (const QString &line : std::as_const(lines))
        block += "    " + line.toUtf8() + '\n';
    return block;
}

// ---- indexing ----

// Progress on standard error, only for a person watching a terminal and only once the work
// has taken a second.
class ProgressLine
{
public:
    ProgressLine() : m_tty(::isatty(STDERR_FILENO) == 1) { m_clock.start(); }
    ~ProgressLine() { clear(); }
    void show(const catalog::Progress &p)
    {
        if (!m_tty || m_clock.elapsed() < 1000)
            return;
        std::fprintf(stderr, "\rIndexing: %lld of %lld files", static_cast<long long>(p.done),
                     static_cast<long long>(p.found));
        std::fflush(stderr);
        m_shown = true;
    }
    void clear()
    {
        if (m_shown)
            std::fputs("\r\033[K", stderr);
        m_shown = false;
    }

private:
    bool m_tty;
    bool m_shown = false;
    QElapsedTimer m_clock;
};

struct Indexed
{
    std::unique_ptr<catalog::Index> index;
    QList<catalog::Scope> scopes;
    int exit = ExitDone; // ExitFailure when a path could not be looked at
};

// Brings the index up to date for the request's paths. Returns a negative number when the
// run ended early (its exit code negated), else the outcome.
int indexPaths(const Request &request, Indexed &indexed)
{
    const InterruptScope interruptScope;
    catalog::IndexOptions options;
    options.recursive = request.recursive;
    // A search answers as fresh as the folders' own times say: unchanged folders are not read.
    options.trustFolderTimes = !request.query.isNull();
    const QString listPath = QStringLiteral("quoril2k.ext");
    if (QFile::exists(listPath))
        options.customList = readCustomList(listPath);
    indexed.scopes.clear();
    for (const QByteArray &path : request.paths)
        indexed.scopes << catalog::Scope{catalog::absolutePath(path), request.recursive};

    if (!indexed.index)
        indexed.index = std::make_unique<catalog::Index>(
            request.noCache ? QStringLiteral(":memory:") : catalog::defaultIndexPath());
    if (!cliLoadEngine())
        return -ExitFailure;

    for (int attempt = 0;; ++attempt) {
        if (!indexed.index->notice().isEmpty())
            cliError(indexed.index->notice());
        catalog::Indexer indexer(*indexed.index, options);
        ProgressLine line;
        indexer.onProgress = [&line](const catalog::Progress &p) { line.show(p); };
        catalog::IndexSummary summary;
        try {
            g_running = &indexer;
            if (g_interrupted)
                indexer.cancel();
            summary = indexer.run(request.paths);
            g_running = nullptr;
        } catch (const catalog::IndexDamaged &damage) {
            g_running = nullptr;
            if (attempt > 0)
                throw;
            line.clear();
            indexed.index->rebuild(damage.message());
            continue;
        }
        line.clear();
        for (const QString &problem : std::as_const(summary.problems))
            cliError(problem);
        if (summary.cancelled) {
            cliError(QStringLiteral("interrupted; the index keeps what was read so far"));
            return -130;
        }
        if (!summary.problems.isEmpty())
            indexed.exit = ExitFailure;
        return ExitDone;
    }
}

// Indexes the request's paths, then hands the index to `answer`; every failure is reported.
int withIndex(const Request &request, const std::function<int(Indexed &)> &answer)
{
    try {
        Indexed indexed;
        for (int attempt = 0;; ++attempt) {
            const int rc = indexPaths(request, indexed);
            if (rc < 0)
                return -rc;
            try {
                return answer(indexed);
            } catch (const catalog::IndexDamaged &damage) {
                // Damage met while answering: the index is built anew once and asked again.
                if (attempt > 0)
                    throw;
                indexed.index->rebuild(damage.message());
            }
        }
    } catch (const catalog::IndexError &e) {
        cliError(e.message());
        return ExitFailure;
    } catch (const std::exception &e) {
        cliError(QString::fromLocal8Bit(e.what()));
        return ExitFailure;
    }
}

} // namespace

int cmdCatalog(const QStringList &args)
{
    Request request;
    if (const int end = parse(args, false, request); end >= 0)
        return end;
    return withIndex(request, [&request](Indexed &indexed) {
        Out out;
        if (request.format == Format::Csv)
            out << CsvHeader;
        indexed.index->forEachEntry(indexed.scopes, [&](const catalog::Entry &e) {
            if (request.format == Format::Json)
                out << jsonObject(e);
            else if (request.format == Format::Csv)
                out << csvRow(e);
            else
                out << textBlock(e);
        });
        return indexed.exit;
    });
}

int cmdSearch(const QStringList &args)
{
    Request request;
    if (const int end = parse(args, true, request); end >= 0)
        return end;
    const catalog::Query query = catalog::Query::parse(request.query);
    if (!query.isValid()) {
        cliError(QStringLiteral("bad query: %1").arg(query.error()));
        return ExitUsage;
    }
    return withIndex(request, [&request, &query](Indexed &indexed) {
        const QList<catalog::Hit> hits = catalog::search(*indexed.index, query, indexed.scopes);
        Out out;
        for (const catalog::Hit &hit : hits) {
            if (request.format == Format::Json)
                out << jsonObject(hit.entry, hit.match);
            else
                out << terminalPath(hit.entry.path) << "\t" << hit.match << "\n";
        }
        if (indexed.exit != ExitDone)
            return indexed.exit;
        return hits.isEmpty() ? int(ExitNothing) : int(ExitDone);
    });
}
