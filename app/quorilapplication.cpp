#include "app/quorilapplication.h"

#include "common/fileerror.h"
#include "common/prompter.h"

QuorilApplication::QuorilApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("quoril"));
    setApplicationVersion(QStringLiteral("2.5"));
}

void showTopLevelError(const QString &message)
{
    showMessage(message, Prompter::Icon::Critical);
}

bool QuorilApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const FileError &error) {
        showTopLevelError(error.message());
    } catch (const std::exception &error) {
        showTopLevelError(QString::fromLocal8Bit(error.what()));
    }
    return false;
}
