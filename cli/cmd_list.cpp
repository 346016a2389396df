#include "cli/commands.h"

#include "archive/archiveops.h"
#include "zipengine/callbacks.h"

#include <QFile>

#include <cstdio>

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
    // The same lines as the extraction dialog's, printed as the engine reports each member.
    QByteArray out;
    const ArchiveOps::Listing listing =
        ArchiveOps::getContents(archive, [&out](const ListingEntry &entry) {
            out += listingLine(entry).toUtf8();
            out += '\n';
            if (out.size() > (1 << 16)) {
                std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
                out.clear();
            }
        });
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    if (listing.code != PK_OK && listing.code != PK_WARN) {
        for (const QString &message : listing.messages)
            cliError(message);
        if (listing.messages.isEmpty())
            cliError(
                QStringLiteral("cannot read %1 (engine code %2)").arg(archive).arg(listing.code));
        return ExitFailure;
    }
    return ExitDone;
}
