#include "description/embed.h"

#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

namespace {

// The stored name of the member that a case-insensitive lookup of `name` finds, or `name`
// itself when the archive doesn't hold it (or can't be read).
QString storedName(const QString &archivePath, const QString &name)
{
    DCL dcl = blankDcl();
    dcl.nvflag = 1;
    dcl.nUflag = 1;
    dcl.C_flag = 1;
    EngineText archive(archivePath);
    dcl.lpszZipFN = archive.get();
    EngineTextArray include(QStringList{name});
    USERFUNCTIONS functions;
    FillUserFunctions(functions);
    EngineSink sink;
    QString found;
    sink.onListing = [&](const ListingEntry &entry) {
        if (found.isEmpty())
            found = entry.name;
    };
    struct ListingScope
    {
        ListingScope() { ListingActive = true; }
        ~ListingScope() { ListingActive = false; }
    } listing;
    EngineSinkScope scope(sink);
    ZipEngine::Wiz_SingleEntryUnzip(1, include.get(), 0, nullptr, &dcl, &functions);
    // Only a difference of letter case is taken over; a stored name with a folder part is
    // not what the bare-name save would write.
    if (!found.isEmpty() && found.compare(name, Qt::CaseInsensitive) == 0)
        return found;
    return name;
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
    const QString name = storedName(archivePath, memberName);

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
