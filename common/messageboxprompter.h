// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/prompter.h"

#include <QPointer>
#include <QWidget>

class QMessageBox;

// The program's prompter: modal QMessageBox boxes, centred on the main window.
class MessageBoxPrompter : public Prompter
{
public:
    bool askYesNo(const QString &text) override;
    void message(const QString &text, Icon icon, const QString &caption) override;
    // The window boxes are centred on; null for none.
    void setParentWindow(QWidget *window) { m_parent = window; }

    // The box that askYesNo (question icon, Yes and No) and message (the icon of its kind, OK)
    // show, ready to run; the caller owns it. An empty caption means the application's title.
    static QMessageBox *questionBox(const QString &text, QWidget *parent);
    static QMessageBox *messageBox(const QString &text, Icon icon, const QString &caption,
                                   QWidget *parent);

private:
    QPointer<QWidget> m_parent;
};
