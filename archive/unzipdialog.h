// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/archiveops.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QStringListModel;
class TFrmWaitZip;
class TShellTree;

// The extraction dialog: lists the members of the archive selected in the main window and
// extracts all or the chosen ones into a folder. Modeless; every showing lists the archive
// again and collapses the option side.
class TFrmUnzip : public QDialog
{
    Q_OBJECT

public:
    // The designed sizes; the dialog is larger when its captions need more room.
    static constexpr int CollapsedWidth = 407;
    static constexpr int ExpandedWidth = 631;
    static constexpr int ClientHeight = 421;

    // `wait` is the shared wait window (owned by the caller).
    explicit TFrmUnzip(TFrmWaitZip *wait, QWidget *parent = nullptr);

    // Where the archive path comes from: the main tree's selection.
    void setArchivePathSource(std::function<QString()> source);
    QString archivePath() const;

    // Lists the archive into FilesList and MemberNames (nothing for a blank path).
    void Get_Contents(const QString &path);
    // Extracts every member (`all`) or the selected lines into T_Dir's folder behind the wait
    // window. Returns what the engine reported.
    ArchiveOps::ExtractReport UnZip_SelectedFiles(const QString &path, bool all);

    const QStringList &memberNames() const { return m_memberNames; }
    // The archive whose members are listed.
    const QString &listedPath() const { return m_listedPath; }
    const QStringList &selectedNames() const { return m_selectedNames; }

    void FormShow();
    void FolderTreeChange();
    void B_OptionsClick();
    void B_UnzipClick();
    void B_AbortClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCheckBox *addCheck(const char *name, const QString &caption, bool common, bool on);
    // The folder T_Dir names.
    QString targetDir() const;
    // The listing lines with the names read in the chosen code page.
    void showListing();

    TFrmWaitZip *m_wait;
    std::function<QString()> m_pathSource;
    QStringList m_memberNames;
    QStringList m_selectedNames;
    QString m_listedPath;
    QString m_targetPath; // the folder last chosen in the folder tree

    QStringList m_lines;
    QStringListModel *m_model;
    QComboBox *m_namesPage;
    QPlainTextEdit *m_comment;
    QListView *m_files;
    QLabel *m_sizeHead;
    QLabel *m_dateHead;
    QLabel *m_nameHead;
    QLabel *m_targetLabel;
    QLineEdit *m_targetDir;
    QPushButton *m_options;
    QWidget *m_optionSide;
    QLabel *m_treeLabel;
    TShellTree *m_folderTree;
    QGroupBox *m_group;
    QCheckBox *m_extractOnlyNewer;
    QCheckBox *m_uFlag;
    QCheckBox *m_oFlag;
    QCheckBox *m_cFlag;
    QCheckBox *m_dFlag;
    QRadioButton *m_all;
    QRadioButton *m_selected;
    QPushButton *m_abort;
    QPushButton *m_unzip;
};
