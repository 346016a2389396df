// SPDX-License-Identifier: GPL-3.0-or-later
#include "id3/id3tag.h"
#include "id3/id3v2.h"
#include "id3/mp3pane.h"
#include "tests/id3/id3fixtures.h"
#include "tests/support/testsupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace id3fixtures;

namespace {

const QStringList FieldNames{"MP_title", "MP_artist",  "MP_album",
                             "MP_year",  "MP_comment", "CB_Genre"};

} // namespace

class TestMP3Pane : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { delete m_pane; }

    void controlsAndGenreList();
    void layoutOrder();
    void tabOrder();
    void viewFillsFieldsWithoutEdit();
    void keys_data();
    void keys();
    void pickingGenreIsAnEdit();
    void typedGenreIsAssignedByName_data();
    void typedGenreIsAssignedByName();
    void typingAndSavingTagLessFile();
    void fieldsTakeWhatTheTagStores_data();
    void fieldsTakeWhatTheTagStores();
    void copyFromId3v2MarksAndSaves();

private:
    template <typename T> T *control(const QString &name) const
    {
        T *found = m_pane->findChild<T *>(name);
        if (!found)
            qWarning("no control %s", qPrintable(name));
        return found;
    }
    QWidget *field(const QString &name) const { return control<QWidget>(name); }

    TMP3Panel *m_pane = nullptr;
};

void TestMP3Pane::init()
{
    m_pane = new TMP3Panel;
    m_pane->resize(500, 300);
    m_pane->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pane));
}

void TestMP3Pane::controlsAndGenreList()
{
    QCOMPARE(m_pane->objectName(), QStringLiteral("MP3panel"));
    for (const QString &name : FieldNames)
        QVERIFY2(field(name), qPrintable(name));
    QStringList labels;
    for (const QLabel *label :
         m_pane->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (label->buddy())
            labels << label->text();
    }
    labels.sort();
    QCOMPARE(labels, QStringList({"Album", "Artist", "Comment", "Genre", "Title", "Year"}));

    auto *genre = control<QComboBox>(QStringLiteral("CB_Genre"));
    QVERIFY(genre->isEditable());
    QStringList items;
    for (int i = 0; i < genre->count(); ++i)
        items << genre->itemText(i);
    QCOMPARE(items.size(), 126);
    QVERIFY(!items.contains(QStringLiteral("Unknown")));
    QStringList expected = GenreNames();
    std::sort(expected.begin(), expected.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QCOMPARE(items, expected);
    QCOMPARE(items.first(), QStringLiteral("Acapella"));
}

void TestMP3Pane::layoutOrder()
{
    auto top = [this](const char *name) { return field(QLatin1String(name))->geometry().top(); };
    QVERIFY(top("MP_artist") < top("MP_title"));
    QVERIFY(top("MP_title") < top("MP_album"));
    QVERIFY(top("MP_album") < top("MP_year"));
    QVERIFY(top("MP_year") < top("MP_comment"));
    const QRect year = field(QStringLiteral("MP_year"))->geometry();
    const QRect genre = field(QStringLiteral("CB_Genre"))->geometry();
    QVERIFY(genre.left() > year.right());
    QVERIFY(genre.top() < year.bottom() && genre.bottom() > year.top()); // same row
    const QRect title = field(QStringLiteral("MP_title"))->geometry();
    QVERIFY(year.width() < title.width() / 2);
    QVERIFY(field(QStringLiteral("MP_comment"))->height() > title.height());
}

void TestMP3Pane::tabOrder()
{
    QApplication::setActiveWindow(m_pane);
    QVERIFY(QTest::qWaitForWindowActive(m_pane));
    field(QStringLiteral("MP_title"))->setFocus();
    QStringList visited;
    for (int i = 0; i < FieldNames.size(); ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, FieldNames);
}

void TestMP3Pane::viewFillsFieldsWithoutEdit()
{
    QSignalSpy edited(m_pane, &TMP3Panel::edited);
    TID3Tag tag;
    tag.setTitle(QStringLiteral("T"));
    tag.setArtist(QStringLiteral("Ar"));
    tag.setAlbum(QStringLiteral("Al"));
    tag.setYear(QStringLiteral("1984"));
    tag.setComment(QStringLiteral("C"));
    tag.setGenre(QStringLiteral("jazz"));
    m_pane->view(tag);
    tag.setGenre(QStringLiteral("Unknown"));
    m_pane->view(tag);
    QCOMPARE(edited.count(), 0);
    QCOMPARE(control<QLineEdit>(QStringLiteral("MP_title"))->text(), QStringLiteral("T"));
    QCOMPARE(control<QLineEdit>(QStringLiteral("MP_artist"))->text(), QStringLiteral("Ar"));
    QCOMPARE(control<QLineEdit>(QStringLiteral("MP_album"))->text(), QStringLiteral("Al"));
    QCOMPARE(control<QLineEdit>(QStringLiteral("MP_year"))->text(), QStringLiteral("1984"));
    QCOMPARE(control<QLineEdit>(QStringLiteral("MP_comment"))->text(), QStringLiteral("C"));
    QCOMPARE(control<QComboBox>(QStringLiteral("CB_Genre"))->currentText(),
             QStringLiteral("Unknown"));
}

void TestMP3Pane::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("edit");
    const int none = Qt::NoModifier;
    QTest::newRow("letter") << int(Qt::Key_K) << none << true;
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << true;
    QTest::newRow("Space") << int(Qt::Key_Space) << none << true;
    QTest::newRow("Backspace in an empty field") << int(Qt::Key_Backspace) << none << true;
    QTest::newRow("keypad plus") << int(Qt::Key_Plus) << int(Qt::KeypadModifier) << true;
    // Punctuation outside the key list still changes the text.
    QTest::newRow("comma") << int(Qt::Key_Comma) << none << true;
    QTest::newRow("period") << int(Qt::Key_Period) << none << true;
    QTest::newRow("left arrow") << int(Qt::Key_Left) << none << false;
    QTest::newRow("F3") << int(Qt::Key_F3) << none << false;
}

void TestMP3Pane::keys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, edit);
    m_pane->view(TID3Tag());
    for (const QString &name : FieldNames) {
        QSignalSpy edited(m_pane, &TMP3Panel::edited);
        QTest::keyClick(field(name), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY2((edited.count() > 0) == edit, qPrintable(name));
    }
}

void TestMP3Pane::pickingGenreIsAnEdit()
{
    auto *genre = control<QComboBox>(QStringLiteral("CB_Genre"));
    TID3Tag tag;
    tag.setGenre(QStringLiteral("Blues"));
    m_pane->view(tag);
    QSignalSpy edited(m_pane, &TMP3Panel::edited);
    genre->showPopup();
    QAbstractItemView *list = genre->view();
    QVERIFY(QTest::qWaitForWindowExposed(list->window()));
    const QModelIndex bebob = list->model()->index(genre->findText(QStringLiteral("Bebob")), 0);
    list->scrollTo(bebob);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(bebob).center());
    QTRY_COMPARE(genre->currentText(), QStringLiteral("Bebob"));
    QVERIFY(edited.count() > 0);

    // The arrow keys step through the list: not edit keys, but a change of the genre.
    edited.clear();
    QTest::keyClick(genre, Qt::Key_Down);
    QCOMPARE(genre->currentText(), QStringLiteral("Big Band"));
    QVERIFY(edited.count() > 0);
}

void TestMP3Pane::typedGenreIsAssignedByName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("lower-case table name") << "rock"
                                           << "rock";
    QTest::newRow("name not in the table") << "Polka Dot"
                                           << "Unknown";
}

void TestMP3Pane::typedGenreIsAssignedByName()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    auto *genre = control<QComboBox>(QStringLiteral("CB_Genre"));
    m_pane->view(TID3Tag());
    genre->lineEdit()->selectAll();
    QTest::keyClicks(genre, typed);
    QTest::keyClick(genre, Qt::Key_Return);
    QCOMPARE(genre->currentText(), typed);
    QCOMPARE(genre->count(), 126); // typed text never becomes an entry
    TID3Tag tag;
    m_pane->assignTo(tag);
    QCOMPARE(tag.Genre(), stored);
}

void TestMP3Pane::typingAndSavingTagLessFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("song.mp3"));
    testsupport::writeFile(file, audio(500));
    TID3Tag tag;
    tag.setFileName(file);
    m_pane->view(tag);
    QCOMPARE(control<QComboBox>(QStringLiteral("CB_Genre"))->currentText(),
             QStringLiteral("Classical"));

    // A letter typed and deleted again leaves every field as it was: nothing is written.
    QWidget *title = field(QStringLiteral("MP_title"));
    QTest::keyClick(title, Qt::Key_X);
    QTest::keyClick(title, Qt::Key_Backspace);
    m_pane->assignTo(tag);
    QVERIFY(!tag.Modified());
    tag.WriteTag();
    QCOMPARE(testsupport::readFile(file).size(), 500);

    QTest::keyClicks(title, QStringLiteral("New song"));
    m_pane->assignTo(tag);
    tag.WriteTag();
    const QByteArray bytes = testsupport::readFile(file);
    QCOMPARE(bytes.size(), 628);
    QCOMPARE(bytes.right(128), record("New song", "", "", "", "", 32));
}

void TestMP3Pane::copyFromId3v2MarksAndSaves()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("v2.mp3");
    const QString title = "A title much longer than thirty characters";
    QVERIFY(makeId3v2(file, "mid3v2", {"-t", title, "-a", "Band", "-g", "Trance", "-T", "4/9"}));
    TID3Tag tag;
    tag.setFileName(file);
    m_pane->view(tag, id3v2::read(file));
    const auto edit = [this](const char *name) { return control<QLineEdit>(name); };
    const auto note = [this](const char *name) {
        const auto *label = control<QLabel>(name);
        return label->isVisible() ? label->text() : QString();
    };
    QCOMPARE(edit("V2_title")->text(), mutagenFrames(file).value("TIT2"));
    QVERIFY(note("MP_noTag").contains("No ID3v1 tag"));
    QVERIFY(note("MP_differs").contains("Title, Artist, Genre, Track"));

    QTest::mouseClick(control<QPushButton>("B_CopyID3v2"), Qt::LeftButton);
    QCOMPARE(edit("MP_title")->text(), title.left(30));
    QVERIFY(edit("MP_title")->property("marked").toBool());
    QCOMPARE(note("MP_marks"), "Cut to fit ID3v1: Title");
    QCOMPARE(note("MP_differs"), QString());

    edit("MP_artist")->setFocus();
    QTest::sendKeyEvent(QTest::Click, edit("MP_artist"), Qt::Key_unknown, "ω", Qt::NoModifier);
    QCOMPARE(note("MP_marks"), "Cut to fit ID3v1: Title\nNot stored as shown: Artist");
    QCOMPARE(note("MP_differs"), "ID3v1 differs from ID3v2: Artist");

    m_pane->assignTo(tag);
    tag.WriteTag();
    m_pane->written(tag);
    QCOMPARE(note("MP_noTag"), QString());
    const QByteArray record = testsupport::readFile(file).right(128);
    QCOMPARE(record.mid(3, 30), title.left(30).toLatin1());
    QCOMPARE(record.mid(33, 5), "Band?");
    QCOMPARE(int(record.at(126)), 4);  // track
    QCOMPARE(int(record.at(127)), 31); // Trance
}

QTEST_MAIN(TestMP3Pane)
void TestMP3Pane::fieldsTakeWhatTheTagStores_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("track");
    QTest::addColumn<int>("limit");
    QTest::newRow("title") << "MP_title" << 0 << 30;
    QTest::newRow("artist") << "MP_artist" << 0 << 30;
    QTest::newRow("album") << "MP_album" << 0 << 30;
    QTest::newRow("year") << "MP_year" << 0 << 4;
    QTest::newRow("comment") << "MP_comment" << 0 << 30;
    QTest::newRow("comment beside a track number") << "MP_comment" << 7 << 28;
}

// Typing stops at what the record can hold instead of being cut silently on save.
void TestMP3Pane::fieldsTakeWhatTheTagStores()
{
    QFETCH(QString, name);
    QFETCH(int, track);
    QFETCH(int, limit);
    TID3Tag tag;
    tag.setTrack(track);
    m_pane->view(tag);
    auto *edit = control<QLineEdit>(name);
    QTest::keyClicks(edit, QString(40, QLatin1Char('7')));
    QCOMPARE(edit->text(), QString(limit, QLatin1Char('7')));
}

#include "tst_mp3pane.moc"
