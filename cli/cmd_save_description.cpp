#include "cli/commands.h"

int cmdSaveDescription(const QStringList &)
{
    cliError(QStringLiteral("this command is not available yet"));
    return ExitFailure;
}
