// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/helpwindow.h"

#include "common/prompter.h"
#include "common/windowplace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScrollBar>

const char *const THelpWindow::HelpFileName = "Quoril 2000.html";

namespace {
const QSize DesignedSize(760, 600);
}

THelpWindow::THelpWindow(QWidget *parent) : QTextBrowser(parent), m_dirs(defaultSearchDirs())
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Quoril 2000 - Help"));
    setOpenExternalLinks(true);
    placeWindow(this, DesignedSize, PlaceOn::FirstShow);
}

QStringList THelpWindow::defaultSearchDirs()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    QStringList dirs{programDir};
#ifdef QUORIL_INSTALL_DATADIR
    dirs << QStringLiteral(QUORIL_INSTALL_DATADIR);
#endif
    // An installed tree moved to another prefix: <prefix>/lib*/quoril -> <prefix>/share/quoril.
    dirs << QDir::cleanPath(programDir + QStringLiteral("/../../share/quoril"));
    dirs.removeDuplicates();
    return dirs;
}

QString THelpWindow::findHelpFile() const
{
    for (const QString &dir : m_dirs) {
        const QFileInfo candidate(QDir(dir), QString::fromUtf8(HelpFileName));
        if (candidate.isFile() && candidate.isReadable())
            return candidate.absoluteFilePath();
    }
    return QString();
}

bool THelpWindow::showContents()
{
    const QString path = findHelpFile();
    if (path.isEmpty()) {
        showMessage(QStringLiteral("The help file \"%1\" was not found.\nLooked in: %2")
                        .arg(QString::fromUtf8(HelpFileName), m_dirs.join(QStringLiteral(", "))),
                    Prompter::Icon::Critical);
        return false;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    if (source() == url)
        reload();
    else
        setSource(url);
    // The contents are the top of the page.
    verticalScrollBar()->setValue(0);
    show();
    raise();
    activateWindow();
    return true;
}

void THelpWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QTextBrowser::keyPressEvent(event);
}
