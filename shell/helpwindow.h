// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QTextBrowser>

// The help viewer: shows "Quoril 2000.html" at its contents. The file lies beside the program
// (the build's bin/ folder, or the installed program folder) or in the installed data folder.
class THelpWindow : public QTextBrowser
{
    Q_OBJECT
public:
    static const char *const HelpFileName;

    explicit THelpWindow(QWidget *parent = nullptr);

    // The folders searched in order; tests replace them.
    void setSearchDirs(const QStringList &dirs) { m_dirs = dirs; }
    QStringList searchDirs() const { return m_dirs; }
    static QStringList defaultSearchDirs();

    // The help file's full path, or an empty string when no folder holds it.
    QString findHelpFile() const;

    // Opens the help at its contents and brings the window to the front. A missing help file
    // is reported in a message box; returns false then.
    bool showContents();

protected:
    // Esc closes the window.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QStringList m_dirs;
};
