#include "description/embed.h"

#include "common/fileerror.h"
#include "description/lookup.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

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
    const QString name = answeringMemberName(archivePath, memberName);

    // A folder of our own, so that no file of the user's that carries the member's name is
    // overwritten or deleted.
    QTemporaryDir folder(QDir(QDir::tempPath()).filePath(QStringLiteral("quoril-save-XXXXXX")));
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
                              .arg(archivePath, reasons);
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}
