// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Custom file setup": edits the list of the user's own description names. Modeless; created
// once at start-up and only shown and hidden afterwards. The list lives in the list box L_cFile;
// entries() is the only way to read it.
//
// The main window connects to listApplied() (rebuild CustMenu from entries(), followed by the
// AllCustomLabel item) and to enableCustom() (enable B_Custom), then calls FormCreate().
class TCustom_ext : public QDialog
{
    Q_OBJECT

public:
    explicit TCustom_ext(QWidget *parent = nullptr);

    QStringList entries() const;

    // The start-up step, in this order: runs `pgmInit` (the main window's start-up language
    // step, so that AllCustomLabel is settled first); appends the lines of quoril2k.ext of the
    // current working folder to the list; emits listApplied() and enableCustom(list not empty).
    // A quoril2k.ext that exists but cannot be read throws FileError out of this call, for the
    // top-level handler: the lines read before the failure stay in the list and the rest of the
    // step is skipped (no listApplied(), B_Custom keeps its design state).
    void FormCreate(const std::function<void()> &pgmInit);

    // Writes the list to quoril2k.ext in the current working folder. Throws FileError.
    void WriteCustoms();

    // Shows the dialog modelessly and brings it to the front (the menu item "Custom file...").
    void showDialog();

signals:
    // The list was applied (start-up, Close): rebuild CustMenu from entries().
    void listApplied();
    // B_Custom is enabled exactly when the list holds an entry (start-up, Close, Save settings).
    void enableCustom(bool enabled);

public slots:
    void B_AddClick();
    void B_RemoveClick();
    void B_OKClick();
    void B_saveprefsClick();

private:
    QLineEdit *m_edit;
    QListWidget *m_list;
    QLabel *m_label1;
    QLabel *m_label2;
    QLabel *m_label3;
    QPushButton *m_add;
    QPushButton *m_remove;
    QPushButton *m_ok;
    QPushButton *m_save;
};
