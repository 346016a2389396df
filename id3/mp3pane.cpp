// SPDX-License-Identifier: GPL-3.0-or-later
#include "id3/mp3pane.h"

#include "id3/editkeys.h"
#include "id3/id3tag.h"

#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int TextFieldWidth = TID3Tag::TextWidth;
constexpr int YearWidth = TID3Tag::YearWidth;
constexpr int TrackCommentWidth = TID3Tag::TrackCommentWidth;
// The background of a field whose text will not be stored as shown.
const QColor MarkColour(255, 228, 160);

QLabel *makeNote(QWidget *parent, const char *name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->hide();
    return label;
}

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
    m_noTag = makeNote(this, "MP_noTag");
    m_noTag->setText(QStringLiteral("No ID3v1 tag: saving adds one."));
    m_marks = makeNote(this, "MP_marks");
    m_differs = makeNote(this, "MP_differs");
    grid->addWidget(m_noTag, 5, 1, 1, 3);
    grid->addWidget(m_marks, 6, 1, 1, 3);
    grid->addWidget(m_differs, 7, 1, 1, 3);
    grid->addWidget(makeId3v2Group(), 8, 0, 1, 4);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(9, 1);

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

    for (QLineEdit *edit : {m_title, m_artist, m_album, m_year, m_comment}) {
        connect(edit, &QLineEdit::textChanged, this, &TMP3Panel::updateMarks);
        // What the user types replaces what a copy cut.
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { m_cut.remove(edit); });
    }
    connect(m_genre, &QComboBox::editTextChanged, this, &TMP3Panel::updateMarks);
    viewId3v2(std::nullopt);
}

QWidget *TMP3Panel::makeId3v2Group()
{
    auto *group = new QGroupBox(QStringLiteral("ID3v2"), this);
    group->setObjectName(QStringLiteral("GB_ID3v2"));
    auto *grid = new QGridLayout(group);
    const char *const names[] = {"V2_title", "V2_artist", "V2_album",  "V2_year",
                                 "V2_genre", "V2_track",  "V2_comment"};
    const char *const labels[] = {"Title", "Artist", "Album", "Year", "Genre", "Track", "Comment"};
    for (int i = 0; i < int(m_v2Edits.size()); ++i) {
        m_v2Edits[i] = makeEdit(group, names[i]);
        m_v2Edits[i]->setReadOnly(true);
        grid->addWidget(makeLabel(group, QLatin1String(labels[i]), m_v2Edits[i]), i / 2, i % 2 * 2);
        grid->addWidget(m_v2Edits[i], i / 2, i % 2 * 2 + 1);
    }
    m_copy = new QPushButton(QStringLiteral("Copy from ID3v2"), group);
    m_copy->setObjectName(QStringLiteral("B_CopyID3v2"));
    m_copy->setToolTip(QStringLiteral("Fill the ID3v1 fields with the ID3v2 tag's values"));
    grid->addWidget(m_copy, 3, 3, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    connect(m_copy, &QPushButton::clicked, this, &TMP3Panel::copyFromId3v2);
    return group;
}

void TMP3Panel::viewId3v2(const std::optional<id3v2::Fields> &v2)
{
    m_v2 = v2;
    const id3v2::Fields shown = v2.value_or(id3v2::Fields{});
    const QString *values[] = {&shown.title, &shown.artist, &shown.album,  &shown.year,
                               &shown.genre, &shown.track,  &shown.comment};
    for (int i = 0; i < int(m_v2Edits.size()); ++i) {
        m_v2Edits[i]->setText(*values[i]);
        m_v2Edits[i]->setCursorPosition(0);
        m_v2Edits[i]->setEnabled(v2.has_value());
    }
    m_copy->setEnabled(v2.has_value());
    auto *group = static_cast<QGroupBox *>(m_copy->parentWidget());
    group->setToolTip(v2 ? QStringLiteral("ID3v2.%1 tag, read only").arg(v2->version.mid(2))
                         : QStringLiteral("This file has no ID3v2 tag"));
}

int TMP3Panel::commentWidth() const
{
    return m_track != 0 ? TrackCommentWidth : TextFieldWidth;
}

void TMP3Panel::copyFromId3v2()
{
    if (!m_v2)
        return;
    const id3v2::Id3v1Texts v1 = id3v2::forId3v1(*m_v2);
    if (v1.track != 0) {
        m_track = v1.track;
        m_comment->setMaxLength(TrackCommentWidth);
    }
    const auto put = [this](QLineEdit *edit, const QString &value, int width) {
        if (value.isEmpty())
            return;
        edit->setText(value); // the edit's limit cuts it
        if (fitField(value, width).cut)
            m_cut.insert(edit);
        else
            m_cut.remove(edit);
    };
    put(m_title, v1.title, TextFieldWidth);
    put(m_artist, v1.artist, TextFieldWidth);
    put(m_album, v1.album, TextFieldWidth);
    put(m_year, v1.year, YearWidth);
    put(m_comment, v1.comment, commentWidth());
    if (!v1.genre.isEmpty())
        m_genre->setEditText(v1.genre);
    updateMarks();
    emit edited();
}

void TMP3Panel::written(const TID3Tag &tag)
{
    m_noTag->setVisible(!tag.HasTag());
}

void TMP3Panel::updateMarks()
{
    QStringList cut, foreign;
    const auto mark = [&](QLineEdit *edit, const char *label, int width) {
        const bool isCut = m_cut.contains(edit);
        const bool isForeign = fitField(edit->text(), width).outsideLatin1;
        if (isCut)
            cut << QLatin1String(label);
        if (isForeign)
            foreign << QLatin1String(label);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base,
                         isCut || isForeign ? MarkColour : this->palette().color(QPalette::Base));
        edit->setPalette(palette);
        edit->setProperty("marked", isCut || isForeign);
        QStringList tips;
        if (isCut)
            tips << QStringLiteral("Cut to %1 characters to fit the ID3v1 tag").arg(width);
        if (isForeign)
            tips << QStringLiteral("Characters outside Latin-1 are stored as \"?\"");
        edit->setToolTip(tips.join(QLatin1Char('\n')));
    };
    mark(m_title, "Title", TextFieldWidth);
    mark(m_artist, "Artist", TextFieldWidth);
    mark(m_album, "Album", TextFieldWidth);
    mark(m_year, "Year", YearWidth);
    mark(m_comment, "Comment", commentWidth());
    const QString genre = m_genre->currentText();
    if (!genre.isEmpty() && GenreIndex(genre) < 0 &&
        genre.compare(QLatin1String("Unknown"), Qt::CaseInsensitive) != 0)
        foreign << QStringLiteral("Genre (not in the list, stored as Unknown)");

    QStringList marks;
    if (!cut.isEmpty())
        marks << QStringLiteral("Cut to fit ID3v1: %1").arg(cut.join(QStringLiteral(", ")));
    if (!foreign.isEmpty())
        marks << QStringLiteral("Not stored as shown: %1").arg(foreign.join(QStringLiteral(", ")));
    m_marks->setText(marks.join(QLatin1Char('\n')));
    m_marks->setVisible(!marks.isEmpty());

    QStringList differ;
    if (m_v2) {
        const id3v2::Id3v1Texts v1{
            m_title->text(), m_artist->text(),  m_album->text(), m_year->text(),
            genre,           m_comment->text(), m_track};
        differ = id3v2::differences(v1, *m_v2);
    }
    m_differs->setText(
        QStringLiteral("ID3v1 differs from ID3v2: %1").arg(differ.join(QStringLiteral(", "))));
    m_differs->setVisible(!differ.isEmpty());
}

void TMP3Panel::view(const TID3Tag &tag, const std::optional<id3v2::Fields> &v2)
{
    m_viewing = true;
    m_track = tag.Track();
    m_cut.clear();
    m_noTag->setVisible(!tag.HasTag());
    viewId3v2(v2);
    // With a track number, the comment gives up its last two bytes to it.
    m_comment->setMaxLength(tag.Track() != 0 ? TrackCommentWidth : TextFieldWidth);
    m_title->setText(tag.Title());
    m_artist->setText(tag.Artist());
    m_album->setText(tag.Album());
    m_year->setText(tag.Year());
    m_genre->setEditText(tag.Genre());
    m_comment->setText(tag.Comment());
    m_viewing = false;
    updateMarks();
}

void TMP3Panel::assignTo(TID3Tag &tag) const
{
    tag.setTitle(m_title->text());
    tag.setArtist(m_artist->text());
    tag.setAlbum(m_album->text());
    tag.setYear(m_year->text());
    tag.setGenre(m_genre->currentText());
    tag.setComment(m_comment->text());
    tag.setTrack(m_track);
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
