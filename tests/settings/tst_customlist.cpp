// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/fileerror.h"
#include "settings/customdialog.h"
#include "settings/customlist.h"
#include "tests/support/testsupport.h"
#include "writerefusal.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

// Also records the icon of every box.
class IconPrompter : public testsupport::ScriptedPrompter
{
public:
    QList<Icon> icons;
    void message(const QString &text, Icon icon, const QString &caption) override
    {
        icons << icon;
        ScriptedPrompter::message(text, icon, caption);
    }
};

const QString DiskError = QStringLiteral("Cannot wrote on disk. Are you running program from a "
                                         "CD?\nIf so, you cannot save preferences!");

} // namespace

class TestCustomList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsFile_data();
    void readsFile();
    void unreadableFileThrows_data();
    void unreadableFileThrows();
    void startupReadsAfterLanguageStep_data();
    void startupReadsAfterLanguageStep();
    void startupWithUnreadableFileSkipsRest();

    void addAndRemove();
    void duplicateRefusedAtAnyLength_data();
    void duplicateRefusedAtAnyLength();
    void nameWithFolderRefused_data();
    void nameWithFolderRefused();
    void emptyEntryAppendedButNeverWritten();
    void saveWithoutClose();
    void closeWithoutSave();
    void failedSaveKeepsOldFile();

private:
    void type(const QString &text);
    void click(const char *name);
    void addAll(const QStringList &texts);
    QString filePath() const { return m_dir->filePath(QStringLiteral("quoril2k.ext")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCurrent;
    std::unique_ptr<TCustom_ext> m_dialog;
    QLineEdit *m_edit = nullptr;
    QListWidget *m_list = nullptr;
};

void TestCustomList::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_dialog = std::make_unique<TCustom_ext>();
    m_edit = m_dialog->findChild<QLineEdit *>(QStringLiteral("T_cFile"));
    m_list = m_dialog->findChild<QListWidget *>(QStringLiteral("L_cFile"));
    QVERIFY(m_edit && m_list);
    m_dialog->showDialog();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
}

void TestCustomList::cleanup()
{
    m_dialog.reset();
    QDir::setCurrent(m_oldCurrent);
    m_dir.reset();
}

void TestCustomList::type(const QString &text)
{
    m_edit->clear();
    if (!text.isEmpty())
        QTest::keyClicks(m_edit, text);
}

void TestCustomList::click(const char *name)
{
    auto *button = m_dialog->findChild<QPushButton *>(QString::fromLatin1(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

void TestCustomList::addAll(const QStringList &texts)
{
    for (const QString &text : texts) {
        type(text);
        click("B_Add");
    }
}

void TestCustomList::readsFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("CR LF lines") << QByteArray("file.nfo\r\n<filename>.txt\r\n")
                                 << QStringList{"file.nfo", "<filename>.txt"};
    QTest::newRow("LF lines, no final line end")
        << QByteArray("a.nfo\nb.nfo") << QStringList{"a.nfo", "b.nfo"};
    QTest::newRow("empty lines skipped")
        << QByteArray("\r\na.nfo\r\n\r\n\nb.nfo\r\n") << QStringList{"a.nfo", "b.nfo"};
    QTest::newRow("blanks and letter case kept")
        << QByteArray("  Read Me.NFO  \r\n \r\n") << QStringList{"  Read Me.NFO  ", " "};
    QTest::newRow("UTF-8 and Latin-1 names")
        << QByteArray("caf\xc3\xa9.txt\r\nna\xefve.txt\r\n")
        << QStringList{QString::fromUtf8("café.txt"), QString::fromUtf8("naïve.txt")};
    QTest::newRow("Windows-1252 name")
        << QByteArray("it\x92s.nfo\r\n") << QStringList{QString::fromUtf8("it’s.nfo")};
    QTest::newRow("no file") << QByteArray() << QStringList{};
}

void TestCustomList::readsFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    if (!content.isEmpty())
        writeFile(filePath(), content);
    QCOMPARE(readCustomList(filePath()), expected);
    QCOMPARE(CustomList::currentPath(), QDir::current().filePath("quoril2k.ext"));
}

void TestCustomList::unreadableFileThrows_data()
{
    QTest::addColumn<bool>("fifo");
    QTest::newRow("folder") << false;
    QTest::newRow("FIFO, refused without waiting for a writer") << true;
}

void TestCustomList::unreadableFileThrows()
{
    QFETCH(bool, fifo);
    // Exists, but cannot be read as a list.
    if (fifo)
        QCOMPARE(::mkfifo(QFile::encodeName(filePath()).constData(), 0644), 0);
    else
        QDir(m_dir->path()).mkdir(QStringLiteral("quoril2k.ext"));
    ::alarm(30);
    QVERIFY_THROWS_EXCEPTION(FileError, readCustomList(filePath()));
    ::alarm(0);
}

void TestCustomList::startupReadsAfterLanguageStep_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("list in the file") << QByteArray("a.nfo\r\nb.nfo\r\n") << true;
    QTest::newRow("no file") << QByteArray() << false;
}

void TestCustomList::startupReadsAfterLanguageStep()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, enabled);
    if (!content.isEmpty())
        writeFile(filePath(), content);
    QSignalSpy applied(m_dialog.get(), &TCustom_ext::listApplied);
    QSignalSpy enable(m_dialog.get(), &TCustom_ext::enableCustom);
    int entriesDuringLanguageStep = -1;
    m_dialog->FormCreate([&] {
        entriesDuringLanguageStep = int(m_dialog->entries().size());
        QCOMPARE(applied.count(), 0);
    });
    QCOMPARE(entriesDuringLanguageStep, 0);
    QCOMPARE(m_dialog->entries(), readCustomList(filePath()));
    QCOMPARE(applied.count(), 1);
    QCOMPARE(enable.count(), 1);
    QCOMPARE(enable.first().first().toBool(), enabled);
}

void TestCustomList::startupWithUnreadableFileSkipsRest()
{
    QDir(m_dir->path()).mkdir(QStringLiteral("quoril2k.ext"));
    QSignalSpy applied(m_dialog.get(), &TCustom_ext::listApplied);
    QSignalSpy enable(m_dialog.get(), &TCustom_ext::enableCustom);
    bool languageStepRan = false;
    QVERIFY_THROWS_EXCEPTION(FileError, m_dialog->FormCreate([&] { languageStepRan = true; }));
    QVERIFY(languageStepRan);
    QCOMPARE(applied.count(), 0);
    QCOMPARE(enable.count(), 0);
}

void TestCustomList::addAndRemove()
{
    addAll({"file.nfo", "<filename>.txt", "  spaced  "});
    QCOMPARE(m_dialog->entries(), (QStringList{"file.nfo", "<filename>.txt", "  spaced  "}));
    QCOMPARE(m_edit->text(), QString());

    // Remove puts the entry back into the box, ready to be corrected.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {},
                      m_list->visualItemRect(m_list->item(1)).center());
    click("B_Remove");
    QCOMPARE(m_dialog->entries(), (QStringList{"file.nfo", "  spaced  "}));
    QCOMPARE(m_edit->text(), QStringLiteral("<filename>.txt"));

    // Nothing selected: nothing happens.
    m_list->clearSelection();
    type(QStringLiteral("kept"));
    click("B_Remove");
    QCOMPARE(m_dialog->entries().size(), 2);
    QCOMPARE(m_edit->text(), QStringLiteral("kept"));
}

void TestCustomList::duplicateRefusedAtAnyLength_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    const QStringList five{"a.nfo", "b.nfo", "c.nfo", "d.nfo", "e.nfo"};
    QTest::newRow("equal to the only entry") << five.mid(0, 1) << "a.nfo" << true;
    QTest::newRow("equal to the third of three") << five.mid(0, 3) << "c.nfo" << true;
    QTest::newRow("equal to the fifth of five") << five << "e.nfo" << true;
    QTest::newRow("other letter case is another name") << five << "E.NFO" << false;
    QTest::newRow("trailing blank makes another name") << five << "e.nfo " << false;
}

void TestCustomList::duplicateRefusedAtAnyLength()
{
    QFETCH(QStringList, list);
    QFETCH(QString, text);
    QFETCH(bool, refused);
    addAll(list);
    type(text);
    click("B_Add");
    QCOMPARE(m_dialog->entries(), refused ? list : list + QStringList{text});
    QCOMPARE(m_edit->text(), refused ? text : QString());
}

void TestCustomList::nameWithFolderRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message"); // empty: the name is taken
    QTest::newRow("folder") << "d/x"
                            << "The description file name must not contain a folder: d/x";
    QTest::newRow("parent") << ".."
                            << "The description file name must not be \"..\".";
    QTest::newRow("dots inside a plain name") << "..x.diz" << QString();
}

void TestCustomList::nameWithFolderRefused()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    IconPrompter prompter;
    addAll({text});
    QCOMPARE(prompter.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(m_dialog->entries(), message.isEmpty() ? QStringList{text} : QStringList());
}

void TestCustomList::emptyEntryAppendedButNeverWritten()
{
    auto prompter = std::make_unique<IconPrompter>();
    addAll({"a.nfo", "", " b.nfo "});
    QCOMPARE(m_dialog->entries(), (QStringList{"a.nfo", "", " b.nfo "}));
    click("B_saveprefs");
    QCOMPARE(readFile(filePath()), QByteArray("a.nfo\r\n b.nfo \r\n"));
}

void TestCustomList::saveWithoutClose()
{
    writeFile(filePath(), "old.nfo\r\n");
    m_dialog->FormCreate({});
    auto prompter = std::make_unique<IconPrompter>();
    QSignalSpy applied(m_dialog.get(), &TCustom_ext::listApplied);
    QSignalSpy enable(m_dialog.get(), &TCustom_ext::enableCustom);
    addAll({"new.nfo"});
    click("B_saveprefs");
    QCOMPARE(readFile(filePath()), QByteArray("old.nfo\r\nnew.nfo\r\n"));
    QCOMPARE(applied.count(), 0);
    QCOMPARE(enable.count(), 1);
    QCOMPARE(enable.first().first().toBool(), true);
    QCOMPARE(prompter->messages, QStringList{"Preferences saved."});
    QCOMPARE(prompter->icons, QList<Prompter::Icon>{Prompter::Icon::Information});
    QVERIFY(m_dialog->isVisible());

    // Saving an emptied list disables B_Custom.
    m_list->setCurrentRow(0);
    click("B_Remove");
    m_list->setCurrentRow(0);
    click("B_Remove");
    click("B_saveprefs");
    QCOMPARE(readFile(filePath()), QByteArray());
    QCOMPARE(enable.last().first().toBool(), false);
}

void TestCustomList::closeWithoutSave()
{
    writeFile(filePath(), "old.nfo\r\n");
    m_dialog->FormCreate({});
    QSignalSpy applied(m_dialog.get(), &TCustom_ext::listApplied);
    QSignalSpy enable(m_dialog.get(), &TCustom_ext::enableCustom);
    addAll({"new.nfo"});
    QCOMPARE(applied.count(), 0); // Add alone changes nothing outside the dialog
    QCOMPARE(enable.count(), 0);
    click("B_OK");
    QCOMPARE(applied.count(), 1);
    QCOMPARE(enable.count(), 1);
    QCOMPARE(m_dialog->entries(), (QStringList{"old.nfo", "new.nfo"}));
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(readFile(filePath()), QByteArray("old.nfo\r\n"));
}

void TestCustomList::failedSaveKeepsOldFile()
{
    writeFile(filePath(), "old.nfo\r\n");
    m_dialog->FormCreate({});
    auto prompter = std::make_unique<IconPrompter>();
    QSignalSpy enable(m_dialog.get(), &TCustom_ext::enableCustom);
    addAll({"new.nfo"});
    {
        WriteRefusal refusal(m_dir->path());
        click("B_saveprefs");
    }
    QCOMPARE(prompter->messages, QStringList{DiskError});
    QCOMPARE(prompter->captions, QStringList{"Disk error"});
    QCOMPARE(prompter->icons, QList<Prompter::Icon>{Prompter::Icon::Critical});
    QCOMPARE(readFile(filePath()), QByteArray("old.nfo\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"quoril2k.ext"});
    QCOMPARE(m_dialog->entries(), (QStringList{"old.nfo", "new.nfo"}));
    QCOMPARE(enable.count(), 1);
}

QTEST_MAIN(TestCustomList)
#include "tst_customlist.moc"
