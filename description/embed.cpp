// SPDX-License-Identifier: GPL-3.0-or-later
#include "description/embed.h"
#include "description/membername.h"

#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "description/lookup.h"
#include "formats/formats.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <string_view>
#include <unistd.h>

namespace {

const QString SaveFolderPrefix = QStringLiteral("quoril-save-");

// The process id in a save folder's name "quoril-save-PID-XXXXXX", or 0 for another name.
pid_t saveFolderPid(std::string_view name)
{
    constexpr std::string_view prefix = "quoril-save-";
    if (!name.starts_with(prefix))
        return 0;
    name.remove_prefix(prefix.size());
    const size_t dash = name.find('-');
    if (dash == 0 || dash > 9 || dash == std::string_view::npos || name.size() != dash + 7)
        return 0;
    pid_t pid = 0;
    for (const char c : name.substr(0, dash)) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + (c - '0');
    }
    for (const char c : name.substr(dash + 1))
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return 0;
    return pid;
}

// Removes the folders of saves whose process is gone: only folders of ours named
// "quoril-save-PID-XXXXXX", never one of a running process. Read with readdir: the temporary
// folder may hold many entries, and every save looks.
void sweepStaleSaveFolders(const QDir &temp)
{
    DIR *dir = ::opendir(QFile::encodeName(temp.path()).constData());
    if (!dir)
        return;
    QStringList stale;
    while (const dirent *entry = ::readdir(dir)) {
        const pid_t pid = saveFolderPid(entry->d_name);
        if (pid == 0 || pid == getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        stale << QString::fromLocal8Bit(entry->d_name);
    }
    ::closedir(dir);
    for (const QString &name : stale) {
        const QFileInfo info(temp.filePath(name));
        if (info.isDir() && !info.isSymLink() && info.ownerId() == geteuid())
            QDir(info.filePath()).removeRecursively();
    }
}

} // namespace

QByteArray withCrLf(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 32);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            out.append('\r');
        out.append(c);
    }
    return out;
}

ZPOPT descriptionSaveOptions(char level)
{
    ZPOPT options;
    std::memset(&options, 0, sizeof options);
    options.fExtra = -1;
    options.fJunkDir = -1;
    options.fGrow = -1;
    options.fLevel = level ? level : '6';
    return options;
}

SaveOutcome Embed(const QString &archivePath, const QString &memberName, const QByteArray &bytes,
                  char level)
{
    SaveOutcome outcome;
    outcome.message = descriptionNameProblem(memberName);
    if (!outcome.message.isEmpty())
        return outcome;
    // An archive of another format is never handed to the engine, which would take it for a
    // damaged ZIP archive.
    const QString readOnly = readOnlyReason(formats::detect(archivePath));
    if (!readOnly.isEmpty()) {
        outcome.message = QStringLiteral("The description could not be saved into %1.\n%2")
                              .arg(pathbytes::display(archivePath), readOnly);
        return outcome;
    }
    const QString name = answeringMemberName(archivePath, memberName);

    // A folder of our own, so that no file of the user's that carries the member's name is
    // overwritten or deleted. It carries the process number, so that a later save removes it
    // should this process be killed before it does.
    const QDir temp(QDir::tempPath());
    sweepStaleSaveFolders(temp);
    QTemporaryDir folder(
        temp.filePath(QStringLiteral("%1%2-XXXXXX").arg(SaveFolderPrefix).arg(getpid())));
    const QString descriptionPath = QDir(folder.path()).filePath(name);
    {
        QFile file(descriptionPath);
        if (!folder.isValid() || name.contains(QLatin1Char('/')) ||
            !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size() || !file.flush())
            throw FileError::cannotCreate(descriptionPath);
    }

    // The save's options hold for its own call only: the packer goes on with the user's.
    struct OptionsRestore
    {
        ZPOPT user = ZipEngine::ZpGetOptions();
        ~OptionsRestore() { ZipEngine::ZpSetOptions(&user); }
    } restore;
    ZPOPT options = descriptionSaveOptions(level);
    if (!ZipEngine::ZpSetOptions(&options)) {
        outcome.message = QStringLiteral("Error setting Zip Options");
        return outcome;
    }

    EngineSink sink;
    ZIPUSERFUNCTIONS functions;
    FillZipUserFunctions(functions);
    int rc;
    {
        EngineSinkScope scope(sink);
        ZipEngine::ZpInit(&functions);
        EngineText archive(archivePath);
        EngineTextArray files(QStringList{descriptionPath});
        ZCL command{files.count(), archive.get(), files.get()};
        rc = ZipEngine::ZpArchive(command);
    }
    if (rc != ZE_OK || !sink.messages.isEmpty()) {
        QString reasons = sink.messages.join(QLatin1Char('\n'));
        if (reasons.isEmpty())
            reasons = QStringLiteral("The zip engine ended with code %1.").arg(rc);
        outcome.message = QStringLiteral("The description could not be saved into %1.\n%2")
                              .arg(pathbytes::display(archivePath), reasons);
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}
