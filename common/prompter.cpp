// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/prompter.h"

#include <QTextStream>

namespace {

class StderrPrompter : public Prompter
{
public:
    bool askYesNo(const QString &text) override
    {
        QTextStream(stderr) << text << " (answered No)\n";
        return false;
    }

    void message(const QString &text, Icon, const QString &caption) override
    {
        QTextStream err(stderr);
        if (!caption.isEmpty())
            err << caption << ": ";
        err << text << '\n';
    }
};

StderrPrompter g_default;
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
