#pragma once

#include "common/prompter.h"

#include <QPointer>
#include <QWidget>

// The program's prompter: modal QMessageBox boxes, centred on the main window.
class MessageBoxPrompter : public Prompter
{
public:
    bool askYesNo(const QString &text) override;
    void message(const QString &text, Icon icon, const QString &caption) override;
    // The window boxes are centred on; null for none.
    void setParentWindow(QWidget *window) { m_parent = window; }

private:
    QPointer<QWidget> m_parent;
};
