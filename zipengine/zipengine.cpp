// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/zipengine.h"

#include "common/fileerror.h"
#include "common/pathbytes.h"

#include <QDir>

#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace {

struct Entries
{
    void *library = nullptr; // the dlopen handle
    ZpInitFn init = nullptr;
    ZpSetOptionsFn setOptions = nullptr;
    ZpGetOptionsFn getOptions = nullptr;
    ZpArchiveFn archive = nullptr;
    WizSingleEntryUnzipFn unzip = nullptr;
};

Entries g_engine;

QString fieldText(const char *field, size_t size)
{
    return QString::fromLatin1(field, static_cast<qsizetype>(strnlen(field, size)));
}

// The engine is not re-entrant and keeps process-wide state: calls from different threads (an
// indexing worker and the user-interface thread) take turns; a nested call on one thread (from
// events handled during a long call) is refused instead, since it would wait for itself.
std::mutex g_engineMutex;
thread_local int g_depth = 0;
thread_local bool g_turnHeld = false; // a ZipEngine::Turn of this thread holds the mutex

struct BusyScope
{
    BusyScope()
    {
        if (!g_turnHeld)
            lock = std::unique_lock(g_engineMutex);
        ++g_depth;
    }
    ~BusyScope() { --g_depth; }
    std::unique_lock<std::mutex> lock;
};

void requireLoaded()
{
    if (!g_engine.library)
        throw FileError(ZipEngine::notFoundMessage());
}

} // namespace

QString ZipEngine::notFoundMessage()
{
    return QStringLiteral(
               "Cannot find %1.\nThe Dll must be in the application directory, the path,\n"
               "the Windows directory or the Windows System directory.")
        .arg(QLatin1String(LibraryFileName));
}

QString ZipEngine::wrongVersionMessage()
{
    return QStringLiteral("%1 has the wrong version number.\nInsure that you have the correct "
                          "dll's installed, and that \nan older dll is not in your path or "
                          "Windows System directory.")
        .arg(QLatin1String(LibraryFileName));
}

QString ZipEngine::load(const QString &folder)
{
    if (g_engine.library)
        return QString();
    const QString dir = folder.isEmpty() ? pathbytes::programFolder() : folder;
    const QString path = QDir(dir).filePath(QLatin1String(LibraryFileName));
    if (!pathbytes::exists(path))
        return notFoundMessage();

    // Loaded with dlopen itself: QLibrary would first look for qt.conf and the logging rules,
    // a cost every start of quoril-cli would pay.
    void *library = dlopen(pathbytes::encode(path).constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return notFoundMessage();
    const auto resolve = [library](const char *symbol) { return dlsym(library, symbol); };
    Entries e;
    e.library = library;
    e.init = reinterpret_cast<ZpInitFn>(resolve("ZpInit"));
    e.setOptions = reinterpret_cast<ZpSetOptionsFn>(resolve("ZpSetOptions"));
    e.getOptions = reinterpret_cast<ZpGetOptionsFn>(resolve("ZpGetOptions"));
    e.archive = reinterpret_cast<ZpArchiveFn>(resolve("ZpArchive"));
    e.unzip = reinterpret_cast<WizSingleEntryUnzipFn>(resolve("Wiz_SingleEntryUnzip"));
    const auto *version = reinterpret_cast<const ZENGINEVERSION *>(resolve(ZENGINE_VERSION_SYMBOL));
    if (!e.init || !e.setOptions || !e.getOptions || !e.archive || !e.unzip) {
        dlclose(library);
        return notFoundMessage();
    }
    const bool rightVersion = version && version->structLength >= sizeof(ZENGINEVERSION) &&
                              fieldText(version->companyName, sizeof version->companyName) ==
                                  QLatin1String(ExpectedCompany) &&
                              fieldText(version->fileVersion, sizeof version->fileVersion) ==
                                  QLatin1String(ExpectedVersion);
    if (!rightVersion) {
        dlclose(library);
        return wrongVersionMessage();
    }
    g_engine = e;
    return QString();
}

bool ZipEngine::isLoaded()
{
    return g_engine.library != nullptr;
}

int ZipEngine::ZpInit(LPZIPUSERFUNCTIONS functions)
{
    requireLoaded();
    return g_engine.init(functions);
}

int ZipEngine::ZpSetOptions(ZPOPT *options)
{
    requireLoaded();
    return g_engine.setOptions(options);
}

ZPOPT ZipEngine::ZpGetOptions()
{
    requireLoaded();
    return g_engine.getOptions();
}

int ZipEngine::ZpArchive(ZCL command)
{
    requireLoaded();
    if (isBusy())
        return ZE_PARMS;
    BusyScope busy;
    return g_engine.archive(command);
}

int ZipEngine::Wiz_SingleEntryUnzip(int includeCount, char **includeNames, int excludeCount,
                                    char **excludeNames, LPDCL dcl, LPUSERFUNCTIONS functions)
{
    requireLoaded();
    if (isBusy())
        return PK_PARAM;
    BusyScope busy;
    return g_engine.unzip(includeCount, includeNames, excludeCount, excludeNames, dcl, functions);
}

ZipEngine::Turn::Turn()
{
    if (!g_turnHeld) {
        g_engineMutex.lock();
        g_turnHeld = m_owner = true;
    }
}

ZipEngine::Turn::~Turn()
{
    if (m_owner) {
        g_turnHeld = false;
        g_engineMutex.unlock();
    }
}

bool ZipEngine::isBusy()
{
    return g_depth > 0;
}
