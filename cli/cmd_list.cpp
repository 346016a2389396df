#include "cli/commands.h"

int cmdList(const QStringList &)
{
    cliError(QStringLiteral("this command is not available yet"));
    return ExitFailure;
}
