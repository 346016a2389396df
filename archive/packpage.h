// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/archiveops.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSplitter;
class TFrmWaitZip;
class TFrmZipOpt;
class TShellTree;

// The packer page's content: files dragged from the tree onto the list are packed into the
// named archive with the options the engine holds.
class TPackPage : public QWidget
{
    Q_OBJECT

public:
    // Asks for the archive's file name, starting from `current`; empty when cancelled.
    using SaveDialog = std::function<QString(QWidget *parent, const QString &current)>;

    // `wait` and `options` are the shared wait window and options dialog (owned by the
    // caller; either may be null).
    TPackPage(TFrmWaitZip *wait, TFrmZipOpt *options, QWidget *parent = nullptr);

    void setSaveDialog(SaveDialog dialog);
    QStringList lines() const;

    // Drag and drop onto ListaZip, by the dragged-from object.
    bool ListaZipDragOver(const QObject *source) const;
    void ListaZipDragDrop(const QObject *source);
    void btnSaveToClick();
    void B_ZipOptClick();
    void B_ZipThemClick();
    // Packs `files` into `archivePath` behind the wait window; a failure or warning is shown.
    ArchiveOps::ZipReport ZipFiles(const QString &archivePath, const QStringList &files);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    bool ListaZipKeyDown(int key);
    bool LFileMgrKeyDown(int key);
    void addLine(const QString &path);
    QLabel *stepLabel(const char *name, const QString &text);

    TFrmWaitZip *m_wait;
    TFrmZipOpt *m_options;
    SaveDialog m_saveDialog;

    QLabel *m_step1;
    QLabel *m_step2;
    QLabel *m_step3;
    QLabel *m_drag;
    QLabel *m_drop;
    TShellTree *m_fileMgr;
    QSplitter *m_splitter;
    QListWidget *m_list;
    QLineEdit *m_zipFileName;
    QPushButton *m_saveTo;
    QPushButton *m_zipOpt;
    QPushButton *m_zipThem;
};
