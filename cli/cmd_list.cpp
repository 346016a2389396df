#include "cli/commands.h"

#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int cmdList(const QStringList &args)
{
    if (args.size() != 1 || args.constFirst().startsWith(QLatin1Char('-'))) {
        cliError(QStringLiteral("usage: quoril-cli list ARCHIVE"));
        return ExitUsage;
    }
    const QString archive = args.constFirst();
    if (!QFile::exists(archive)) {
        cliError(QStringLiteral("cannot open %1").arg(archive));
        return ExitFailure;
    }
    if (!cliLoadEngine())
        return ExitFailure;
    DCL dcl;
    std::memset(&dcl, 0, sizeof dcl);
    dcl.fQuiet = 2;
    dcl.nvflag = 1;
    dcl.nUflag = 1;
    dcl.C_flag = 1;
    dcl.fPrivilege = 1;
    EngineText path(archive);
    dcl.lpszZipFN = path.get();
    USERFUNCTIONS functions;
    FillUserFunctions(functions);
    EngineSink sink;
    sink.onListing = [](const ListingEntry &entry) {
        const QByteArray line = listingLine(entry).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    };
    ListingActive = true;
    int rc;
    {
        EngineSinkScope scope(sink);
        rc = ZipEngine::Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &dcl, &functions);
    }
    ListingActive = false;
    if (rc != PK_OK && rc != PK_WARN) {
        for (const QString &message : sink.messages)
            cliError(message);
        if (sink.messages.isEmpty())
            cliError(QStringLiteral("cannot read %1 (engine code %2)").arg(archive).arg(rc));
        return ExitFailure;
    }
    return ExitDone;
}
