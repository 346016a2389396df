// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "settings/customdialog.h"
#include "settings/langdialog.h"
#include "settings/language.h"
#include "settings/profile.h"
#include "tests/support/testsupport.h"
#include "writerefusal.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

template <class T> T *add(QWidget *parent, const char *name, const QString &text)
{
    auto *widget = new T(text, parent);
    widget->setObjectName(QString::fromLatin1(name));
    if (parent->layout())
        parent->layout()->addWidget(widget);
    return widget;
}

// Stand-ins for the windows that a language relabels, with their design captions.
struct Windows
{
    QMainWindow main;
    QDialog zipOptions;
    QDialog *unzip = nullptr; // parented to the main window, as the program does
    TCustom_ext customExt;
    std::unique_ptr<TLangForm> langForm;
    QString allCustomLabel = QStringLiteral("<unset>");

    explicit Windows(const QString &folder)
    {
        main.setObjectName(QStringLiteral("Main"));
        QMenu *file = main.menuBar()->addMenu(QStringLiteral("File"));
        file->addAction(QStringLiteral("Exit"))->setObjectName(QStringLiteral("Exit1"));
        QMenu *options = main.menuBar()->addMenu(QStringLiteral("Options"));
        for (const char *item :
             {"M_Font", "M_WW", "-", "Hiddenfiles1", "Customfile1", "Changelanguage1"}) {
            if (qstrcmp(item, "-") == 0)
                options->addSeparator();
            else
                options->addAction(QString::fromLatin1(item))
                    ->setObjectName(QString::fromLatin1(item));
        }
        QMenu *help = main.menuBar()->addMenu(QStringLiteral("Help"));
        help->addAction(QStringLiteral("ManagingZIPfiles1"));
        help->addAction(QStringLiteral("About1"));

        auto *tabs = new QTabWidget(&main);
        tabs->setObjectName(QStringLiteral("Pagina"));
        auto *diz = new QWidget;
        diz->setObjectName(QStringLiteral("DIZPage"));
        diz->setLayout(new QVBoxLayout);
        auto *pack = new QWidget;
        pack->setObjectName(QStringLiteral("PackPage"));
        pack->setLayout(new QVBoxLayout);
        tabs->addTab(diz, QStringLiteral("design diz"));
        tabs->addTab(pack, QStringLiteral("design pack"));
        main.setCentralWidget(tabs);
        for (const char *name :
             {"B_view", "B_Filename", "B_Unzip", "B_Save", "B_Auto", "B_autoview", "B_Readme"})
            add<QPushButton>(diz, name, QStringLiteral("design"));
        add<QPushButton>(diz, "B_Custom", QStringLiteral("all custom files"));
        add<QLabel>(pack, "Lstep1", QStringLiteral("step 1:"));
        add<QLabel>(pack, "Ldrag", QStringLiteral("design"));

        zipOptions.setLayout(new QVBoxLayout);
        add<QGroupBox>(&zipOptions, "GroupBox2", QStringLiteral(" (in blue most commons) "));
        add<QCheckBox>(&zipOptions, "chSystem", QStringLiteral("design"));

        unzip = new QDialog(&main);
        unzip->setLayout(new QVBoxLayout);
        add<QLabel>(unzip, "Label2", QStringLiteral("Size (bytes)"));
        add<QPushButton>(unzip, "B_Unzip", QStringLiteral("Unzip")); // not relabelled

        langForm = std::make_unique<TLangForm>(folder, folder);
        langForm->setTargets(targets());
    }

    LanguageTargets targets()
    {
        LanguageTargets t;
        t.main = &main;
        t.zipOptions = &zipOptions;
        t.unzip = unzip;
        t.customExt = &customExt;
        t.langForm = langForm.get();
        t.setAllCustomLabel = [this](const QString &text) { allCustomLabel = text; };
        return t;
    }

    QString text(QWidget *window, const char *name) const
    {
        QWidget *w = window->findChild<QWidget *>(QString::fromLatin1(name));
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            return button->text();
        if (auto *label = qobject_cast<QLabel *>(w))
            return label->text();
        if (auto *group = qobject_cast<QGroupBox *>(w))
            return group->title();
        return QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
    }
    QString menu(int top, int item = -1) const
    {
        QAction *menuAction = main.menuBar()->actions().at(top);
        if (item < 0)
            return menuAction->text();
        QList<QAction *> items;
        for (QAction *action : menuAction->menu()->actions()) {
            if (!action->isSeparator())
                items << action;
        }
        return items.at(item)->text();
    }
    QString tab(int index) const
    {
        return main.findChild<QTabWidget *>(QStringLiteral("Pagina"))->tabText(index);
    }
};

const QString CustomLabelUp = QStringLiteral(
    "Insert custom file name in the box to the left\nand press \"Add\" button: for example,\n"
    "file.nfo  or  <filename>.txt\n(where <filename> will be added automatically)\n"
    "or readme.nfo, or any file name you prefer.");

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fileWithOneKeyResetsAllOthers();
    void namesMatchWithoutLetterCase();
    void menuKeysArePositions();
    void missingFileGivesBuiltInTexts();
    void failureStopsThereWithMessage();
    void shippedFiles_data();
    void shippedFiles();
    void startupLanguage_data();
    void startupLanguage();
    void dialogListsLanguageFiles();
    void setAsDefaultWithoutSelectionStoresEmpty();
    void setAsDefaultStoresSelection();
    void setAsDefaultUnwritable();
    void okWithoutSelectionChangesNothing();
    void namesThatAreNotPlain_data();
    void namesThatAreNotPlain();
    void oversizedFileIsRefused();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Windows> m_w;
    std::unique_ptr<testsupport::ScriptedPrompter> m_prompter;
    QString m_oldCurrent;
};

void TestLanguage::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_w = std::make_unique<Windows>(m_dir->path());
    m_prompter = std::make_unique<testsupport::ScriptedPrompter>();
}

void TestLanguage::cleanup()
{
    QCOMPARE(QApplication::overrideCursor(), nullptr); // restored in every case
    m_prompter.reset();
    m_w.reset();
    QDir::setCurrent(m_oldCurrent);
    m_dir.reset();
}

void TestLanguage::fileWithOneKeyResetsAllOthers()
{
    writeFile(path("MENU.QLG"), "[Menu]\n0=Datei\n");
    ApplyLanguage(path("MENU.QLG"), m_w->targets());
    Windows &w = *m_w;
    QCOMPARE(w.menu(0), "Datei");
    QCOMPARE(w.menu(0, 0), "Exit");
    QCOMPARE(w.text(&w.main, "Lstep1"), "Step 1:");
    QCOMPARE(w.text(&w.main, "B_Save"), "Save info");
    QCOMPARE(w.text(&w.main, "B_Unzip"), "Extract...");
    QCOMPARE(w.tab(0), "Info ZIP files");
    QCOMPARE(w.tab(1), "Easy zip packer");
    QCOMPARE(w.zipOptions.windowTitle(), "Zip engine options");
    QCOMPARE(w.text(&w.zipOptions, "GroupBox2"), "(in blue most commons)");
    QCOMPARE(w.text(&w.zipOptions, "chSystem"), "Include system and hidden files");
    QCOMPARE(w.unzip->windowTitle(), "Decompressing");
    QCOMPARE(w.text(w.unzip, "Label2"), "Size(bytes)");
    QCOMPARE(w.text(w.unzip, "B_Unzip"), "Unzip"); // a dialog's control of the same name
    QCOMPARE(w.text(&w.customExt, "Label2"), CustomLabelUp);
    QCOMPARE(w.customExt.findChild<QLabel *>("Label2")->textFormat(), Qt::PlainText);
    QCOMPARE(w.customExt.windowTitle(), "Custom file setup");
    QVERIFY(w.text(w.langForm.get(), "Label2").contains("using DEFAULT.QLG as a template"));
    QCOMPARE(w.langForm->windowTitle(), "Customize language");
    QCOMPARE(w.allCustomLabel, "all custom files");
    QCOMPARE(m_prompter->messages, QStringList{});
}

void TestLanguage::namesMatchWithoutLetterCase()
{
    writeFile(path("CAPS.QLG"), "[BUTTONS]\nSAVE INFO = Speichern\nCustom=alle eigenen\n"
                                "[custom FILES]\nbutt_add=&Dazu>>\n");
    ApplyLanguage(path("CAPS.QLG"), m_w->targets());
    QCOMPARE(m_w->text(&m_w->main, "B_Save"), "Speichern");
    QCOMPARE(m_w->text(&m_w->main, "B_Custom"), "alle eigenen");
    QCOMPARE(m_w->allCustomLabel, "alle eigenen");
    QCOMPARE(m_w->text(&m_w->customExt, "B_Add"), "&Dazu>>");
}

void TestLanguage::menuKeysArePositions()
{
    // Options holds a separator after its second item; separators are not counted.
    writeFile(path("M.QLG"), "[Menu]\n1=Optionen\n11=Umbruch\n12=Versteckte\n14=Sprache...\n"
                             "21=Info...\n");
    ApplyLanguage(path("M.QLG"), m_w->targets());
    const QStringList options{m_w->menu(1),    m_w->menu(1, 0), m_w->menu(1, 1),
                              m_w->menu(1, 2), m_w->menu(1, 3), m_w->menu(1, 4)};
    QCOMPARE(options, (QStringList{"Optionen", "Font...", "Umbruch", "Versteckte", "Custom file...",
                                   "Sprache..."}));
    QCOMPARE(m_w->menu(2, 0), "Using Quoril");
    QCOMPARE(m_w->menu(2, 1), "Info...");
}

void TestLanguage::missingFileGivesBuiltInTexts()
{
    ApplyLanguage(path("GONE.QLG"), m_w->targets());
    QCOMPARE(m_w->text(&m_w->main, "B_view"), "View");
    QCOMPARE(m_w->text(&m_w->main, "Lstep1"), "Step 1:");
    QCOMPARE(m_w->allCustomLabel, "all custom files");
    // The folder itself, as with an empty language name.
    ApplyLanguage(m_dir->path() + u'/', m_w->targets());
    QCOMPARE(m_w->menu(1, 4), "Change language...");
    QCOMPARE(m_prompter->messages, QStringList{});
}

void TestLanguage::failureStopsThereWithMessage()
{
    writeFile(path("X.QLG"), "[Buttons]\nview=Zeigen\n[Menu]\n0=Datei\n");
    LanguageTargets targets = m_w->targets();
    targets.setAllCustomLabel = [](const QString &) { throw std::runtime_error("broken"); };
    ApplyLanguage(path("X.QLG"), targets);
    QCOMPARE(m_prompter->messages, QStringList{"Err language file; default English"});
    QCOMPARE(m_w->text(&m_w->main, "B_view"), "Zeigen"); // set before the failure
    QCOMPARE(m_w->menu(0), "File");                      // after it: unchanged
    QCOMPARE(m_w->text(&m_w->main, "Lstep1"), "step 1:");
}

void TestLanguage::shippedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("fileMenu");
    QTest::addColumn<QString>("qtCancel"); // a standard dialog button in Qt's own words
    QTest::newRow("ENGLISH.QLG") << "ENGLISH.QLG" << true << "File"
                                 << "Cancel";
    QTest::newRow("DEFAULT.QLG") << "DEFAULT.QLG" << true << "File"
                                 << "Cancel";
    QTest::newRow("ITALIANO.QLG") << "ITALIANO.QLG" << false << "File"
                                  << "Annulla";
    QTest::newRow("DEUTSCH.QLG") << "DEUTSCH.QLG" << false << "Datei"
                                 << "Abbrechen";
}

void TestLanguage::shippedFiles()
{
    QFETCH(QString, name);
    QFETCH(bool, english);
    QFETCH(QString, fileMenu);
    const QString file = QStringLiteral(QUORIL_SOURCE_DIR "/resources/lang/") + name;
    QVERIFY(QFile::exists(file));
    const Profile profile(file);
    const QStringList texts = readLanguageTexts(file);
    int translated = 0;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const LanguageKey &row = languageKeys()[i];
        const QString key = QStringLiteral("%1/%2").arg(row.section, row.key);
        QVERIFY2(profile.contains(row.section, row.key), qPrintable(key));
        QVERIFY2(!texts[i].isEmpty(), qPrintable(key));
        const QString builtIn = QString::fromUtf8(row.builtIn).replace(u'\n', u' ');
        if (english)
            QCOMPARE(texts[i], builtIn);
        else if (texts[i] != builtIn)
            ++translated;
        if (builtIn.contains(QStringLiteral(".txt")) || builtIn.contains(QStringLiteral(".QLG")))
            QVERIFY2(texts[i].contains(builtIn.contains(".QLG") ? "DEFAULT.QLG" : ".txt"),
                     qPrintable(key));
        QCOMPARE(texts[i].count(u'&'), builtIn.count(u'&'));
    }
    if (!english)
        QVERIFY2(translated >= 60, qPrintable(QString::number(translated)));
    ApplyLanguage(file, m_w->targets());
    QCOMPARE(m_w->menu(0), fileMenu);
    QFETCH(QString, qtCancel);
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text().remove(u'&'), qtCancel);
    QCOMPARE(m_w->text(&m_w->main, "B_Filename"), "<filename>.txt");
    QCOMPARE(m_w->text(&m_w->main, "B_Readme"), "readme.txt");
}

void TestLanguage::startupLanguage_data()
{
    QTest::addColumn<QByteArray>("ini"); // empty: no quoril.ini
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("viewCaption");
    QTest::newRow("no quoril.ini") << QByteArray() << "default"
                                   << "design";
    QTest::newRow("no Language key") << QByteArray("[International]\n") << "default"
                                     << "design";
    QTest::newRow("file named, letter case of names ignored")
        << QByteArray("[INTERNATIONAL]\nlanguage=MINE.QLG\n") << "MINE.QLG"
        << "Mine";
    QTest::newRow("file not in the folder")
        << QByteArray("[International]\nLanguage=NO.QLG\n") << "NO.QLG"
        << "View";
    QTest::newRow("empty name") << QByteArray("[International]\nLanguage=\n") << ""
                                << "View";
    QTest::newRow("Default in capitals names a file")
        << QByteArray("[International]\nLanguage=Default\n") << "Default"
        << "View";
    QTest::newRow("a FIFO is no language file")
        << QByteArray("[International]\nLanguage=PIPE.QLG\n") << "PIPE.QLG"
        << "View";
}

void TestLanguage::startupLanguage()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);
    QFETCH(QString, viewCaption);
    writeFile(path("MINE.QLG"), "[Buttons]\nview=Mine\ncustom=all mine\n");
    QCOMPARE(::mkfifo(QFile::encodeName(path("PIPE.QLG")).constData(), 0644), 0);
    if (!ini.isEmpty())
        writeFile(path("quoril.ini"), ini);
    QCOMPARE(readStartupLanguage(m_dir->path()), expected);
    ::alarm(30); // a start waiting on the FIFO ends the test
    QCOMPARE(applyStartupLanguage(m_dir->path(), m_w->targets()), expected);
    ::alarm(0);
    QCOMPARE(m_w->text(&m_w->main, "B_view"), viewCaption);
    QCOMPARE(m_w->allCustomLabel, viewCaption == "Mine" ? "all mine" : "all custom files");
}

void TestLanguage::dialogListsLanguageFiles()
{
    for (const char *name : {"b.qlg", "A.QLG", "notes.txt", "C.Qlg"})
        writeFile(path(name), "");
    QDir(m_dir->path()).mkdir("DIR.QLG");
    TLangForm &form = *m_w->langForm;
    form.refreshFiles();
    auto *box = form.findChild<QListWidget *>(QStringLiteral("FileBox"));
    QStringList names;
    for (int i = 0; i < box->count(); ++i)
        names << box->item(i)->text();
    QCOMPARE(names, (QStringList{"A.QLG", "b.qlg", "C.Qlg"}));
    QCOMPARE(form.selectedPath(), QString());
    box->setCurrentRow(1);
    QCOMPARE(form.selectedPath(), m_dir->path() + "/b.qlg");
}

void TestLanguage::setAsDefaultWithoutSelectionStoresEmpty()
{
    const QByteArray ini("; my comment\n[Window]\nx=1\n\n[International]\nLanguage=OLD.QLG\n");
    writeFile(path("quoril.ini"), ini);
    writeFile(path("DEUTSCH.QLG"), "[Buttons]\nview=Zeigen\n");
    TLangForm &form = *m_w->langForm;
    form.refreshFiles();
    form.show();
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("B_Def")), Qt::LeftButton);
    QCOMPARE(readFile(path("quoril.ini")),
             QByteArray("; my comment\n[Window]\nx=1\n\n[International]\nLanguage=\n"));
    QCOMPARE(readStartupLanguage(m_dir->path()), QString());
    QCOMPARE(m_w->text(&m_w->main, "B_view"), "View"); // built-in texts applied
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Accepted));
}

void TestLanguage::setAsDefaultStoresSelection()
{
    writeFile(path("DEUTSCH.QLG"), "[Buttons]\nview=Zeigen\n");
    TLangForm &form = *m_w->langForm;
    form.refreshFiles();
    form.show();
    form.findChild<QListWidget *>(QStringLiteral("FileBox"))->setCurrentRow(0);
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("B_Def")), Qt::LeftButton);
    QCOMPARE(readStartupLanguage(m_dir->path()), "DEUTSCH.QLG");
    QCOMPARE(m_w->text(&m_w->main, "B_view"), "Zeigen");
}

void TestLanguage::setAsDefaultUnwritable()
{
    const QByteArray ini("[International]\nLanguage=OLD.QLG\n");
    writeFile(path("quoril.ini"), ini);
    writeFile(path("DEUTSCH.QLG"), "[Buttons]\nview=Zeigen\n");
    TLangForm &form = *m_w->langForm;
    form.refreshFiles();
    form.show();
    form.findChild<QListWidget *>(QStringLiteral("FileBox"))->setCurrentRow(0);
    QString message;
    {
        WriteRefusal refusal(m_dir->path());
        try {
            form.B_DefClick(); // what the button runs; the top-level handler shows the error
        } catch (const FileError &error) {
            message = error.message();
        }
    }
    QCOMPARE(message, "Unable to write to " + path("quoril.ini"));
    QCOMPARE(readFile(path("quoril.ini")), ini);
    QCOMPARE(m_w->text(&m_w->main, "B_view"), "design"); // nothing applied
    QVERIFY(form.isVisible());
}

void TestLanguage::okWithoutSelectionChangesNothing()
{
    writeFile(path("DEUTSCH.QLG"), "[Buttons]\nview=Zeigen\n");
    TLangForm &form = *m_w->langForm;
    form.refreshFiles();
    form.show();
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("B_OK")), Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(m_w->text(&m_w->main, "B_view"), "design");

    form.show();
    form.findChild<QListWidget *>(QStringLiteral("FileBox"))->setCurrentRow(0);
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("B_OK")), Qt::LeftButton);
    QCOMPARE(m_w->text(&m_w->main, "B_view"), "Zeigen");
    QVERIFY(!QFile::exists(path("quoril.ini"))); // OK applies for this run only
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"

void TestLanguage::namesThatAreNotPlain_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("Cyrillic in UTF-8") << QByteArray("\xD0\xA0\xD1\x83\xD1\x81.QLG");
    QTest::newRow("Latin-1 bytes") << QByteArray("\xE9t\xE9.QLG");
}

// A folder named in Latin-1, a quoril.ini that is not UTF-8: the name keeps its bytes.
void TestLanguage::namesThatAreNotPlain()
{
    QFETCH(QByteArray, name);
    const QByteArray folder = QFile::encodeName(m_dir->path()) + "/caf\xE9";
    QCOMPARE(::mkdir(folder.constData(), 0700), 0);
    QCOMPARE(::chdir(folder.constData()), 0);
    const QString start = pathbytes::currentDir();
    writeFile(start + "/quoril.ini", "; r\xE9glages\n[International]\nLanguage=default\n");
    writeFile(start + u'/' + pathbytes::decode(name), "[Buttons]\nview=Vue\n");
    Windows w(start);
    auto *box = w.langForm->findChild<QListWidget *>(QStringLiteral("FileBox"));
    QCOMPARE(box->count(), 1);
    box->setCurrentRow(0);
    QTest::mouseClick(w.langForm->findChild<QPushButton *>("B_Def"), Qt::LeftButton);
    QVERIFY(readFile(start + "/quoril.ini").contains("Language=" + name + "\n"));
    Windows next(start);
    QCOMPARE(applyStartupLanguage(start, next.targets()), pathbytes::decode(name));
    QCOMPARE(next.text(&next.main, "B_view"), "Vue");
}

void TestLanguage::oversizedFileIsRefused()
{
    writeFile(path("BIG.QLG"), "[Buttons]\nview=Big\n" + QByteArray(3 << 20, ';'));
    ApplyLanguage(path("BIG.QLG"), m_w->targets());
    QCOMPARE(m_prompter->messages, QStringList{"Cannot open file " + path("BIG.QLG")});
    QCOMPARE(m_w->text(&m_w->main, "B_view"), "design");
}
