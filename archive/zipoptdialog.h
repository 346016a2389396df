// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/archiveops.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// A small up/down control bound to an edit box: each click steps the number the box shows
// (or the last position when the box holds no number in range) and writes it back. The box
// itself accepts any text.
class TUpDown : public QWidget
{
    Q_OBJECT

public:
    TUpDown(QLineEdit *buddy, int minimum, int maximum, QWidget *parent = nullptr);
    int position() const { return m_position; }
    void setPosition(int position);
    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

private:
    void step(int delta);
    void buddyEdited(const QString &text);

    QLineEdit *m_buddy;
    QToolButton *m_up;
    QToolButton *m_down;
    int m_minimum;
    int m_maximum;
    int m_position;
};

// The zip engine options dialog: shows what the engine holds and stores the user's choices
// back into it. Modeless; hidden, never destroyed.
class TFrmZipOpt : public QDialog
{
    Q_OBJECT

public:
    explicit TFrmZipOpt(QWidget *parent = nullptr);

    // Engine to dialog.
    void Get_ZipDllOptions();
    // Dialog to engine; shows "Error setting Zip Options" and returns false on refusal.
    bool Set_ZipDllOptions();

    ArchiveOps::ZipOptionsState state() const;
    void setState(const ArchiveOps::ZipOptionsState &state);
    // The level box's text as typed; a description save takes its first character.
    QString levelText() const;

    void B_SetZipOptClick();
    void B_closeClick();
    void B_ZipDefaultClick();

private:
    QCheckBox *addCheck(const char *name, const QString &caption, bool common);

    QGroupBox *m_group;
    QCheckBox *m_system;
    QCheckBox *m_volume;
    QCheckBox *m_junkDir;
    QCheckBox *m_recurseDir;
    QCheckBox *m_latestTime;
    QCheckBox *m_grow;
    QCheckBox *m_move;
    QCheckBox *m_deleteEntries;
    QCheckBox *m_update;
    QCheckBox *m_freshen;
    QLabel *m_levelLabel;
    QLineEdit *m_level;
    TUpDown *m_upDown;
    QPushButton *m_default;
    QPushButton *m_save;
    QPushButton *m_close;
};
