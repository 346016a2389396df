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
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

const QString SaveFolderPrefix = QStringLiteral("quoril-save-");

// Removes the folders of saves whose process is gone: only folders of ours named
// "quoril-save-PID-XXXXXX", never one of a running process.
void sweepStaleSaveFolders(const QDir &temp)
{
    static const QRegularExpression pattern(
        QStringLiteral("^quoril-save-(\\d{1,9})-[A-Za-z0-9]{6}$"));
    const QStringList names = temp.entryList({SaveFolderPrefix + QLatin1Char('*')},
                                             QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch())
            continue;
        const auto pid = static_cast<pid_t>(match.captured(1).toLong());
        const QFileInfo info(temp.filePath(name));
        if (pid == getpid() || info.isSymLink() || info.ownerId() != geteuid() ||
            ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
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
