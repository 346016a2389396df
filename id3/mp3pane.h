// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "id3/id3v2.h"

#include <QSet>
#include <QWidget>

#include <array>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QKeyEvent;
class QLineEdit;
class TID3Tag;

// The tag pane (objectName "MP3panel"): five one-line edits and the genre drop-down that
// show and edit an ID3v1 tag. It holds no file logic; the main window owns the tag and uses
// the pane like this:
//
//   ViewMP3:     IDMP.setFileName(path); pane->view(IDMP);
//   IDTagWrite:  IDMP.setFileName(path); pane->assignTo(IDMP); IDMP.WriteTag();
//   connect(pane, &TMP3Panel::edited, ...)   // set UnsavedChanges, enable B_Save
//
// The owner decides when the pane is visible (hidden at start, shown for MP3 files). The
// fields are not refreshed after a write: they keep what the user typed.
//
// Controls, found by objectName: MP_title, MP_artist, MP_album, MP_year, MP_comment
// (QLineEdit) and CB_Genre (editable QComboBox listing the genre table alphabetically).
//
// Below them, in the group "ID3v2", the file's ID3v2 tag read only (V2_title, V2_artist,
// V2_album, V2_year, V2_genre, V2_track, V2_comment) and the button B_CopyID3v2 ("Copy from
// ID3v2"), which fills the ID3v1 fields with its values. Lines of text say what a save would
// do to the user's words: MP_noTag (the file has no ID3v1 tag yet), MP_marks (fields that
// will be cut or hold characters outside Latin-1, which are also marked themselves) and
// MP_differs (the ID3v1 fields differ from the ID3v2 tag).
class TMP3Panel : public QWidget
{
    Q_OBJECT

public:
    explicit TMP3Panel(QWidget *parent = nullptr);

    // Copies Title, Artist, Album, Year, Genre and Comment into the controls. Never emits
    // edited(): putting the tag's genre into the combo is not a change by the user.
    void view(const TID3Tag &tag, const std::optional<id3v2::Fields> &v2 = std::nullopt);
    // After a write: the file now has an ID3v1 tag. The fields stay as they are.
    void written(const TID3Tag &tag);
    // Fills the ID3v1 fields with the ID3v2 tag's values (those it has), as the button does.
    void copyFromId3v2();
    // Assigns the controls to the tag in the order Title, Artist, Album, Year, Genre, Comment;
    // the tag marks itself modified only where a text differs.
    void assignTo(TID3Tag &tag) const;

    // The key-down handler of all five edits and of CB_Genre: emits edited() for an edit key
    // (see isEditKey). The key is never consumed.
    void MP_artistKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // The text of CB_Genre changed by the user, by typing or by picking an entry.
    void CB_GenreChange();

signals:
    // The user edited a field: an edit key was pressed or a field's text was changed (typing,
    // paste, picking a genre). May come more than once for a single key press.
    void edited();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void userTextChanged();
    void viewId3v2(const std::optional<id3v2::Fields> &v2);
    int commentWidth() const;
    void updateMarks();
    QWidget *makeId3v2Group();

    QLineEdit *m_title;
    QLineEdit *m_artist;
    QLineEdit *m_album;
    QLineEdit *m_year;
    QLineEdit *m_comment;
    QComboBox *m_genre;
    bool m_viewing = false;

    std::optional<id3v2::Fields> m_v2;
    std::array<QLineEdit *, 7> m_v2Edits{};
    QPushButton *m_copy = nullptr;
    QLabel *m_noTag = nullptr;
    QLabel *m_marks = nullptr;
    QLabel *m_differs = nullptr;
    // Fields a copy had to cut, until the user edits them.
    QSet<const QLineEdit *> m_cut;
    int m_track = 0;
};
