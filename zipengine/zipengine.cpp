#include "zipengine/zipengine.h"

#include "common/fileerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include <cstring>
#include <mutex>

namespace {

struct Entries
{
    QLibrary *library = nullptr;
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

struct BusyScope
{
    BusyScope() : lock(g_engineMutex) { ++g_depth; }
    ~BusyScope() { --g_depth; }
    std::lock_guard<std::mutex> lock;
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
    const QString dir = folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
    const QString path = QDir(dir).filePath(QLatin1String(LibraryFileName));
    if (!QFile::exists(path))
        return notFoundMessage();

    auto *library = new QLibrary(path);
    if (!library->load()) {
        delete library;
        return notFoundMessage();
    }
    Entries e;
    e.library = library;
    e.init = reinterpret_cast<ZpInitFn>(library->resolve("ZpInit"));
    e.setOptions = reinterpret_cast<ZpSetOptionsFn>(library->resolve("ZpSetOptions"));
    e.getOptions = reinterpret_cast<ZpGetOptionsFn>(library->resolve("ZpGetOptions"));
    e.archive = reinterpret_cast<ZpArchiveFn>(library->resolve("ZpArchive"));
    e.unzip = reinterpret_cast<WizSingleEntryUnzipFn>(library->resolve("Wiz_SingleEntryUnzip"));
    const auto *version =
        reinterpret_cast<const ZENGINEVERSION *>(library->resolve(ZENGINE_VERSION_SYMBOL));
    if (!e.init || !e.setOptions || !e.getOptions || !e.archive || !e.unzip) {
        library->unload();
        delete library;
        return notFoundMessage();
    }
    const bool rightVersion = version && version->structLength >= sizeof(ZENGINEVERSION) &&
                              fieldText(version->companyName, sizeof version->companyName) ==
                                  QLatin1String(ExpectedCompany) &&
                              fieldText(version->fileVersion, sizeof version->fileVersion) ==
                                  QLatin1String(ExpectedVersion);
    if (!rightVersion) {
        library->unload();
        delete library;
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

bool ZipEngine::isBusy()
{
    return g_depth > 0;
}
