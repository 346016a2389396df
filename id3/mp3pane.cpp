#include "id3/mp3pane.h"

#include "id3/editkeys.h"
#include "id3/id3tag.h"

#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace {

// Characters the record stores per field (one byte each).
constexpr int TextFieldWidth = 30;
constexpr int YearWidth = 4;
constexpr int TrackCommentWidth = 28;

QLineEdit *makeEdit(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QLabel *makeLabel(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TMP3Panel::TMP3Panel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MP3panel"));

    m_title = makeEdit(this, "MP_title");
    m_artist = makeEdit(this, "MP_artist");
    m_album = makeEdit(this, "MP_album");
    m_year = makeEdit(this, "MP_year");
    m_comment = makeEdit(this, "MP_comment");

    // The fields take what the record stores, so the limit shows while typing.
    for (QLineEdit *edit : {m_title, m_artist, m_album, m_comment})
        edit->setMaxLength(TextFieldWidth);
    m_year->setMaxLength(YearWidth);

    // Room for a four-digit year and a little more, no wider.
    m_year->setMaximumWidth(m_year->fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                            3 * m_year->fontMetrics().averageCharWidth());
    m_comment->setMinimumHeight(m_comment->sizeHint().height() * 2);

    m_genre = new QComboBox(this);
    m_genre->setObjectName(QStringLiteral("CB_Genre"));
    m_genre->setEditable(true);
    // Typed text is a genre name to look up, never a new entry of the list.
    m_genre->setInsertPolicy(QComboBox::NoInsert);
    // Completion offers the table's spelling, but text typed in another letter case stays as
    // typed (Return would otherwise swap it for the entry that matches without case).
    m_genre->completer()->setCaseSensitivity(Qt::CaseSensitive);
    m_genre->setMaxVisibleItems(20);
    QStringList names = GenreNames();
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    m_genre->addItems(names);
    m_genre->setEditText(QString());

    // On screen: Artist, Title, Album, Year with Genre to its right, Comment.
    auto *grid = new QGridLayout(this);
    grid->addWidget(makeLabel(this, QStringLiteral("Artist"), m_artist), 0, 0);
    grid->addWidget(m_artist, 0, 1, 1, 3);
    grid->addWidget(makeLabel(this, QStringLiteral("Title"), m_title), 1, 0);
    grid->addWidget(m_title, 1, 1, 1, 3);
    grid->addWidget(makeLabel(this, QStringLiteral("Album"), m_album), 2, 0);
    grid->addWidget(m_album, 2, 1, 1, 3);
    grid->addWidget(makeLabel(this, QStringLiteral("Year"), m_year), 3, 0);
    grid->addWidget(m_year, 3, 1);
    grid->addWidget(makeLabel(this, QStringLiteral("Genre"), m_genre), 3, 2);
    grid->addWidget(m_genre, 3, 3);
    grid->addWidget(makeLabel(this, QStringLiteral("Comment"), m_comment), 4, 0);
    grid->addWidget(m_comment, 4, 1, 1, 3);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(5, 1);

    // Keyboard order differs from the visual order.
    setTabOrder(m_title, m_artist);
    setTabOrder(m_artist, m_album);
    setTabOrder(m_album, m_year);
    setTabOrder(m_year, m_comment);
    setTabOrder(m_comment, m_genre);

    for (QLineEdit *edit : {m_title, m_artist, m_album, m_year, m_comment}) {
        edit->installEventFilter(this);
        // textEdited comes only from the user (typing, paste, cut, undo), never from view().
        connect(edit, &QLineEdit::textEdited, this, &TMP3Panel::userTextChanged);
    }
    m_genre->installEventFilter(this);
    connect(m_genre, &QComboBox::editTextChanged, this, &TMP3Panel::CB_GenreChange);
}

void TMP3Panel::view(const TID3Tag &tag)
{
    m_viewing = true;
    // With a track number, the comment gives up its last two bytes to it.
    m_comment->setMaxLength(tag.Track() != 0 ? TrackCommentWidth : TextFieldWidth);
    m_title->setText(tag.Title());
    m_artist->setText(tag.Artist());
    m_album->setText(tag.Album());
    m_year->setText(tag.Year());
    m_genre->setEditText(tag.Genre());
    m_comment->setText(tag.Comment());
    m_viewing = false;
}

void TMP3Panel::assignTo(TID3Tag &tag) const
{
    tag.setTitle(m_title->text());
    tag.setArtist(m_artist->text());
    tag.setAlbum(m_album->text());
    tag.setYear(m_year->text());
    tag.setGenre(m_genre->currentText());
    tag.setComment(m_comment->text());
}

void TMP3Panel::MP_artistKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (isEditKey(key, modifiers))
        emit edited();
}

void TMP3Panel::CB_GenreChange()
{
    if (!m_viewing)
        emit edited();
}

void TMP3Panel::userTextChanged()
{
    if (!m_viewing)
        emit edited();
}

bool TMP3Panel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        MP_artistKeyDown(key->key(), key->modifiers());
    }
    return QWidget::eventFilter(watched, event);
}
