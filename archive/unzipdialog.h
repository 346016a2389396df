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
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class MemberListModel;
class TFrmWaitZip;
class TShellTree;

// The extraction dialog: lists the members of the archive selected in the main window and
// extracts all or the chosen ones into a folder. Modeless; every showing lists the archive
// again and collapses the option side; hiding it hands the listing's memory back.
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

    // Starts listing the archive into FilesList (nothing for a blank path); the rows arrive
    // while the listing streams.
    void Get_Contents(const QString &path);
    // Blocks until the listing has ended and every row of it is shown.
    void waitForListing();
    // Extracts every member (`all`) or the selected lines into T_Dir's folder behind the wait
    // window. Returns what the engine reported.
    ArchiveOps::ExtractReport UnZip_SelectedFiles(const QString &path, bool all);

    QStringList memberNames() const;
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
    void hideEvent(QHideEvent *event) override;

private:
    QCheckBox *addCheck(const char *name, const QString &caption, bool common, bool on);
    // The folder T_Dir names.
    QString targetDir() const;
    // The listing lines with the names read in the chosen code page.
    void showListing();
    void listingFinished(int code, const QStringList &messages, const QByteArray &comment);
    // The size field of the listing widens so that the heads stand over their fields.
    void alignHeads();
    // The folder tree follows a folder typed into T_Dir.
    void targetEdited();

    TFrmWaitZip *m_wait;
    std::function<QString()> m_pathSource;
    QStringList m_selectedNames;
    QString m_listedPath;
    QString m_targetPath; // the folder last chosen in the folder tree

    MemberListModel *m_model;
    QComboBox *m_namesPage;
    QPlainTextEdit *m_comment;
    QListView *m_files;
    QLabel *m_sizeHead;
    QLabel *m_dateHead;
    QLabel *m_nameHead;
    QGridLayout *m_heads;
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
