// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Every message box of the program goes through this interface, so that tests can answer
// "Save the changes ?" without a modal loop. The program installs the message-box prompter
// (common/messageboxprompter.h) at start; until then texts go to standard error and questions
// are answered No.
// The application's title: the caption of its message boxes.
inline constexpr const char *ApplicationTitle = "Quoril 2000";

class Prompter
{
public:
    // Two kinds of message, each with one icon: a notice (information) and an error
    // (critical). A warning is an error the user has to read: it looks like one. Questions
    // carry the question icon.
    enum class Icon { Information, Critical, Warning = Critical };

    virtual ~Prompter() = default;
    // A confirmation with Yes and No only; true for Yes.
    virtual bool askYesNo(const QString &text) = 0;
    // A box with one OK button. An empty caption means the application's title.
    virtual void message(const QString &text, Icon icon = Icon::Information,
                         const QString &caption = QString()) = 0;

    static Prompter &instance();
    // Replaces the prompter (null: the default); returns the previous one. The caller keeps
    // ownership.
    static Prompter *install(Prompter *prompter);
};

// Shorthands for the common cases.
inline bool askYesNo(const QString &text)
{
    return Prompter::instance().askYesNo(text);
}
inline void showMessage(const QString &text, Prompter::Icon icon = Prompter::Icon::Information,
                        const QString &caption = QString())
{
    Prompter::instance().message(text, icon, caption);
}
