// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/language.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

// "Customize language": picks a language file (*.QLG, letter case of the extension ignored) of
// the start-up folder, applies it for this run (OK, double click) or also stores it as the
// start-up language in quoril.ini (Set as default). Modal, fixed size, without a close box.
class TLangForm : public QDialog
{
    Q_OBJECT

public:
    // `startDir`: the folder whose language files are listed; `settingsDir`: the folder of
    // quoril.ini. Both are the working folder at start-up.
    TLangForm(const QString &startDir, const QString &settingsDir, QWidget *parent = nullptr);

    // The windows that a language relabels; the dialog itself is used when targets.langForm
    // is null.
    void setTargets(const LanguageTargets &targets);
    const LanguageTargets &targets() const { return m_targets; }

    // Applies the file at `path` to the targets.
    void ApplyLanguage(const QString &path);

    // The selected file's full path, or empty when nothing is selected.
    QString selectedPath() const;
    // Reads the folder's language files again (done each time the dialog is shown).
    void refreshFiles();

    // Shows the dialog modally, centred on the screen (the menu item "Change language...").
    int exec() override;

public slots:
    void B_OKClick();
    void FileBoxDblClick();
    // Stores the selection (empty when none) as [International] Language in quoril.ini, then
    // applies it and closes. A failed write throws FileError("Unable to write to <path>") for
    // the top-level handler; nothing is applied then and the dialog stays open.
    void B_DefClick();
    void B_cancelClick();

private:
    QString selectedName() const;

    QString m_startDir;
    QString m_settingsDir;
    LanguageTargets m_targets;
    QLabel *m_label1;
    QLabel *m_label2;
    QListWidget *m_files;
    QPushButton *m_default;
    QPushButton *m_cancel;
    QPushButton *m_ok;
};
