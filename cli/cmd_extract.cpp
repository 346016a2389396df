#include "cli/commands.h"

int cmdExtract(const QStringList &)
{
    cliError(QStringLiteral("this command is not available yet"));
    return ExitFailure;
}
