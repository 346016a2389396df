#pragma once

#include <QWidget>

class QComboBox;
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
class TMP3Panel : public QWidget
{
    Q_OBJECT

public:
    explicit TMP3Panel(QWidget *parent = nullptr);

    // Copies Title, Artist, Album, Year, Genre and Comment into the controls. Never emits
    // edited(): putting the tag's genre into the combo is not a change by the user.
    void view(const TID3Tag &tag);
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

    QLineEdit *m_title;
    QLineEdit *m_artist;
    QLineEdit *m_album;
    QLineEdit *m_year;
    QLineEdit *m_comment;
    QComboBox *m_genre;
    bool m_viewing = false;
};
