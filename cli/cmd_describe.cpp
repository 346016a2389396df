#include "cli/commands.h"

int cmdDescribe(const QStringList &)
{
    cliError(QStringLiteral("this command is not available yet"));
    return ExitFailure;
}
