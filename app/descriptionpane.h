// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "description/lookup.h"
#include "description/text.h"

#include <QHash>
#include <QObject>

#include <functional>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QToolButton;
class QWidget;
class TDosScreenView;

// What the description pane adds to the editor: the code page the text is read in (detected,
// or chosen from the drop-down and remembered per archive for the run), the SAUCE fields, the
// colour rendering with its switch to the raw text, and the archive comment.
class TDescriptionPane : public QObject
{
    Q_OBJECT

public:
    struct Hooks
    {
        std::function<void(const QString &)> setText; // fills the editor, not as an edit
        std::function<QFont()> dosFont;               // the editor's DOS font
        std::function<bool()> unsaved;                // whether the editor holds edits
    };
    TDescriptionPane(QGroupBox *cornice, QGridLayout *stack, QPlainTextEdit *editor, Hooks hooks);

    // Shows a lookup's result; `comment` is the archive's comment (empty: none).
    void show(const QString &archivePath, const LookupResult &result, const QByteArray &comment);
    // The bytes that a save writes for the editor's text, in the code page it was read in.
    dostext::Encoded bytesToSave(const QString &edited) const;
    // A save wrote these bytes: they are what the archive now holds.
    void saved(const QByteArray &bytes);
    dostext::CodePage codePage() const { return m_text.page; }
    // Whether the editor shows the archive comment on the user's request (it is not saved).
    bool showingComment() const;
    // Hidden while the tag pane lies over the editor.
    void setVisible(bool visible);
    // The editor's font changed: the pane draws with it too.
    void fontChanged();

private:
    void refresh(std::optional<dostext::CodePage> page);
    std::optional<dostext::CodePage> chosenPage() const;
    void keepEdits();
    void codePageChosen(int index);
    void showInfo();
    QFont fontFor(dostext::CodePage page) const;

    Hooks m_hooks;
    QGroupBox *m_cornice;
    QPlainTextEdit *m_editor;
    QWidget *m_bar;
    QComboBox *m_codePage;
    QToolButton *m_rendered;
    QToolButton *m_comment;
    QLabel *m_info;
    TDosScreenView *m_view;

    QString m_archive;
    LookupResult m_result;
    QByteArray m_commentBytes;
    DescriptionText m_text;
    bool m_loading = false;
    // The code page the user chose per archive, for the run.
    QHash<QString, dostext::CodePage> m_chosen;
};
