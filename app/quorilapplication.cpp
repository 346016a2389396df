// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/quorilapplication.h"

#include "common/fileerror.h"
#include "common/prompter.h"
#include "common/version.h"
#include "shell/glyphs.h"

QuorilApplication::QuorilApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setIdentity();
    setProgramIcon();
}

void QuorilApplication::setProgramIcon()
{
    // Once for the application: every window without an icon of its own shows it.
    QApplication::setWindowIcon(glyphs::programIcon());
}

void QuorilApplication::setIdentity()
{
    setApplicationName(QStringLiteral("quoril"));
    setApplicationVersion(QStringLiteral(QUORIL_VERSION));
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
