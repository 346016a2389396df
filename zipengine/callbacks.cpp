// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/callbacks.h"

#include "common/pathbytes.h"
#include "zipengine/enginetext.h"

#include <cstdio>
#include <cstring>
#include <iterator>

thread_local bool CaptureOutput = false;
thread_local bool ListingActive = false;

namespace {

thread_local EngineSink *g_sink = nullptr;

// No exception may cross into the engine: every callback catches everything.

int printCallback(char *text, unsigned long length)
{
    try {
        if (!g_sink || !text)
            return static_cast<int>(length);
        if (CaptureOutput) {
            // Delivered pieces are raw member bytes: take them whole, NULs included.
            const auto size = static_cast<qsizetype>(length);
            if (g_sink->captureLimit >= 0 &&
                g_sink->captured.size() + size > g_sink->captureLimit) {
                const qsizetype room = g_sink->captureLimit - g_sink->captured.size();
                g_sink->captured.append(text, room > 0 ? room : 0);
                g_sink->captureTruncated = true;
                return -1; // stop delivering this member
            }
            g_sink->captured.append(text, size);
        } else {
            // Messages name paths with their bytes; they are shown as the user sees names.
            const QString message = pathbytes::display(pathbytes::decode(
                QByteArrayView(text, static_cast<qsizetype>(strnlen(text, length)))));
            for (const QString &line : message.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                g_sink->messages.append(line.trimmed());
        }
    } catch (...) {
    }
    return static_cast<int>(length);
}

char *commentCallback(char *text)
{
    return text;
}

int replaceCallback(char *)
{
    return 1;
}

int passwordCallback(char *, int, const char *, const char *)
{
    return 1;
}

void messageCallback(uint64_t ucsize, uint64_t csize, unsigned ratio, unsigned month, unsigned day,
                     unsigned year, unsigned hour, unsigned minute, char, const char *name,
                     const char *, unsigned long, char)
{
    try {
        if (!ListingActive || !g_sink)
            return;
        if (g_sink->counted) {
            ++*g_sink->counted;
            return;
        }
        if (!g_sink->onListing)
            return;
        ListingEntry entry;
        entry.size = ucsize;
        entry.compressedSize = csize;
        entry.ratio = ratio;
        entry.month = month;
        entry.day = day;
        entry.year = year;
        entry.hour = hour;
        entry.minute = minute;
        entry.name = fromEngineBytes(name ? name : "");
        g_sink->onListing(entry);
    } catch (...) {
    }
}

int serviceCallback(const char *name, uint64_t size)
{
    try {
        if (!g_sink)
            return 0;
        if (!name)
            return !g_sink->onProgress || g_sink->onProgress(size) ? 0 : 1;
        if (g_sink->onService)
            return g_sink->onService(fromEngineBytes(name), size) ? 0 : 1;
    } catch (...) {
        return 1;
    }
    return 0;
}

} // namespace

EngineSinkScope::EngineSinkScope(EngineSink &sink) : m_previous(g_sink)
{
    g_sink = &sink;
}

EngineSinkScope::~EngineSinkScope()
{
    g_sink = m_previous;
}

DCL blankDcl()
{
    DCL dcl;
    std::memset(&dcl, 0, sizeof dcl);
    dcl.fQuiet = 2;
    dcl.fPrivilege = 1;
    return dcl;
}

void FillUserFunctions(USERFUNCTIONS &functions)
{
    std::memset(&functions, 0, sizeof functions);
    functions.print = printCallback;
    functions.sound = nullptr;
    functions.replace = replaceCallback;
    functions.password = passwordCallback;
    functions.SendApplicationMessage = messageCallback;
    functions.ServCallBk = serviceCallback;
}

void FillZipUserFunctions(ZIPUSERFUNCTIONS &functions)
{
    std::memset(&functions, 0, sizeof functions);
    functions.print = printCallback;
    functions.comment = commentCallback;
    functions.password = passwordCallback;
    functions.ServiceApplication = serviceCallback;
}

namespace {

// Writes `value` right-aligned in `width` characters (wider when it needs more), as
// printf's "%*llu" does; returns the end.
char *putNumber(char *at, uint64_t value, int width, char pad)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i)
        *at++ = pad;
    while (n > 0)
        *at++ = digits[--n];
    return at;
}

} // namespace

QString listingLine(const ListingEntry &entry)
{
    // "%7llu  %02u-%02u-%02u %02u:%02u  ", formatted by hand: printf and QString::asprintf
    // would dominate a listing of 100,000 members.
    char prefix[96];
    char *at = putNumber(prefix, entry.size, 7, ' ');
    const unsigned fields[] = {entry.month, entry.day, entry.year, entry.hour, entry.minute};
    const char separators[] = {' ', '-', '-', ' ', ':'};
    for (size_t i = 0; i < std::size(fields); ++i) {
        *at++ = separators[i];
        if (i == 0)
            *at++ = ' ';
        at = putNumber(at, fields[i], 2, '0');
    }
    *at++ = ' ';
    *at++ = ' ';
    const auto n = static_cast<qsizetype>(at - prefix);
    QString line;
    line.reserve(n + entry.name.size());
    line.append(QLatin1String(prefix, n));
    line.append(entry.name);
    return line;
}
