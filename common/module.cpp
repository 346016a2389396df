// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/module.h"

#include "common/pathbytes.h"

#include <QDir>

#include <dlfcn.h>

void *ProgramModule::entry(const char *symbol)
{
    void *found = handle ? dlsym(handle, symbol) : nullptr;
    if (handle && !found && problem.isEmpty())
        problem = QStringLiteral("the module has no entry point %1").arg(QLatin1String(symbol));
    return found;
}

ProgramModule loadProgramModule(const char *fileName, const QString &what)
{
    ProgramModule module;
    const QString name = QLatin1String(fileName);
    const QString path = QDir(pathbytes::programFolder()).filePath(name);
    if (!pathbytes::exists(path)) {
        module.problem =
            QStringLiteral("the %1 module %2 is missing beside the program").arg(what, name);
        return module;
    }
    // Loaded with dlopen itself, as the engine is: QLibrary would first read qt.conf and the
    // logging rules. Lazy binding: a module's library is bound only as far as it is used.
    module.handle = dlopen(pathbytes::encode(path).constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!module.handle) {
        // dlerror names the library that is missing, which is what a user needs to install; the
        // module's own path before it says nothing the message does not.
        const char *why = dlerror();
        QString reason = why ? QString::fromLocal8Bit(why) : QStringLiteral("unknown reason");
        const QString own = path + QLatin1String(": ");
        if (reason.startsWith(own))
            reason.remove(0, own.size());
        module.problem =
            QStringLiteral("the %1 module %2 cannot be loaded: %3").arg(what, name, reason);
    }
    return module;
}
