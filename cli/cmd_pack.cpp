#include "cli/commands.h"

int cmdPack(const QStringList &)
{
    cliError(QStringLiteral("this command is not available yet"));
    return ExitFailure;
}
