#include "common/prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace {

QPointer<QWidget> g_parent;

class MessageBoxPrompter : public Prompter
{
public:
    bool askYesNo(const QString &text) override
    {
        return QMessageBox::question(g_parent, QApplication::applicationDisplayName(), text,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    }

    void message(const QString &text, Icon icon, const QString &caption) override
    {
        QMessageBox box(g_parent);
        box.setWindowTitle(caption.isEmpty() ? QApplication::applicationDisplayName() : caption);
        box.setText(text);
        switch (icon) {
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    }
};

MessageBoxPrompter g_default;
Prompter *g_current = &g_default;

} // namespace

Prompter &Prompter::instance()
{
    return *g_current;
}

Prompter *Prompter::install(Prompter *prompter)
{
    Prompter *previous = g_current;
    g_current = prompter ? prompter : &g_default;
    return previous;
}

void Prompter::setParentWindow(QWidget *window)
{
    g_parent = window;
}
