// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "description/lookup.h"

#include <QMainWindow>
#include <QStringList>

class QAction;
class QButtonGroup;
class QGroupBox;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class TShellTree;
struct LanguageTargets;

// Set by every user edit in the description pane or the tag pane; cleared by a save and by
// leaving the item (after the prompt). False at start.
extern bool UnsavedChanges;

// The main window: the folder-and-file tree of archives and MP3 files, the description pane
// with its mode buttons, and the packer page.
class TMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMain(QWidget *parent = nullptr);
    ~TMain() override;

    // The engine check: loads the engine; returns the message to show when it failed.
    static QString EngineCheck();

    // When the insides of the extraction, options and find windows and of the packer page are
    // built: at once, or right after the main window's first frame (the program's start), so
    // that the window shows sooner. Whatever opens one of them first builds them then.
    enum class WindowBuild { Now, AfterFirstFrame };
    // Creates the secondary windows in their start-up order; the custom-file dialog's creation
    // runs pgm_init and then reads the custom list.
    void CreateSecondaryWindows(WindowBuild when = WindowBuild::Now);
    // Reads quoril.ini in SettingsDir and applies the start-up language.
    void pgm_init();

    // Shows the tree's current selection: a folder disables "Extract...", an MP3 file disables
    // it and goes to the tag pane, anything else to the description lookup.
    void GetInfo();
    void ViewInfo(const QString &archivePath);
    void GestCust(QAction *item);
    QString customName() const;
    void setPaneCaption(const QString &name);
    QString paneCaption() const;
    // Rebuilds the custom-files menu from the list, with the all-custom item last, and enables
    // B_Custom exactly when the list is not empty.
    void BuildCustMenu(const QStringList &customNames);

    // Selects a folder or a file in the tree, as a click on it would.
    void SelectPath(const QString &path);
    // Selects and shows the path given on the command line (relative to the working folder);
    // tells the user when it does not exist or is not a folder, archive or MP3 file that the
    // tree shows. The program goes on either way.
    void OpenStartPath(const QString &argument);

    // Saves what the pane shows into ShownFile: the tag when the tag pane is visible, the
    // description otherwise. Returns false when the save failed (the user was told).
    bool SaveCurrent();
    // Shows the tag of the tree's selected MP3 file in the tag pane.
    void ViewMP3();
    // Writes the tag pane into the file; raises "Cannot open file %s" when it can't.
    void IDTagWrite(const QString &path);

    QString StartDir;
    QString SettingsDir;
    // The tree item selected last.
    QString CurrentFile;
    // The file whose contents the pane shows, and so the only file a save writes into; empty
    // until a file is shown. With Auto view off a selection alone leaves it as it is.
    QString ShownFile;
    QString LanguageName = QStringLiteral("default");
    QString AllCustomLabel;

    // The lookup state that the mode buttons describe.
    LookupState lookupState() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    // Builds the extraction, options and find windows, the packer page and the tree's tips,
    // once; built after the start-up language was applied, they are relabelled then.
    void buildWorkWindows();
    void addKeyboardShortcuts();
    void assignMnemonics();
    QWidget *buildDescriptionPage();
    void setUnsaved(bool unsaved);
    // Before the pane shows `next` instead of ShownFile: asks whether to save unsaved edits.
    // Returns false when a save was wanted and failed; the tree then goes back to the file the
    // pane shows, and the caller stops.
    bool LeaveUnsavedChanges(const QString &next);
    // Selects a path in the tree without running the selection handlers.
    void selectQuietly(const QString &path);
    // Selects a file's item among its folder's entries.
    void selectFileItem(const QString &path);
    void showTagPane(bool show);
    // The pane no longer shows a file: it is read-only until the next file is shown.
    void forgetShownFile();
    bool tagPaneShown() const;
    bool deferWhileEngineBusy(void (TMain::*handler)());
    void LFileChange();
    void LFileDblClick();
    void B_viewClick();
    void B_SaveClick();
    void Exit1Click();
    void M_WWClick();
    void M_FontClick();
    void Hiddenfiles1Click();
    // Adds the other archive formats to the tree's mask, or takes them away, and keeps the
    // choice in quoril.ini.
    void M_FormatsClick();
    void B_UnzipClick();
    void M_FindClick();
    void showDescription(const LookupResult &result);
    bool Embed(const QString &archivePath, const QString &memberName);
    bool confirmExit();
    LanguageTargets languageTargets();

    struct Private;
    Private *d;
};
