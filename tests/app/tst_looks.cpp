// SPDX-License-Identifier: GPL-3.0-or-later
// How the windows look: every caption of every window fully shown in every shipped language,
// one icon per kind of message, and DOS text drawn pixel for pixel.

#include "app/fontdialog.h"
#include "app/mainwindow.h"
#include "captionfit.h"
#include "common/messageboxprompter.h"
#include "render/dosfont.h"
#include "shell/helpwindow.h"
#include "tests/support/testsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace testsupport;

namespace {

// One row per window: how a user brings it up from the main window. A new window is one more
// row here.
struct WindowOpener
{
    const char *name;
    std::function<QWidget *(TMain &)> open;
};

template <typename T = QWidget> T *named(QWidget &parent, const char *name)
{
    return parent.findChild<T *>(QLatin1String(name));
}

QWidget *showNamed(TMain &main, const char *name)
{
    QWidget *window = named(main, name);
    if (window)
        window->show();
    return window;
}

// The window a menu entry opens.
QWidget *triggered(TMain &main, const char *action, const char *window)
{
    main.findChild<QAction *>(QLatin1String(action))->trigger();
    return named(main, window);
}

const WindowOpener Windows[] = {
    {"main window", [](TMain &main) -> QWidget * { return &main; }},
    {"packer page",
     [](TMain &main) -> QWidget * {
         named<QTabWidget>(main, "Pagina")->setCurrentIndex(1);
         return &main;
     }},
    {"tag pane",
     [](TMain &main) -> QWidget * {
         main.SelectPath(QDir::current().filePath(QStringLiteral("song.mp3")));
         return &main;
     }},
    {"zip options", [](TMain &main) { return showNamed(main, "FrmZipOpt"); }},
    {"extraction", [](TMain &main) { return showNamed(main, "FrmUnzip"); }},
    {"extraction options",
     [](TMain &main) {
         QWidget *dialog = showNamed(main, "FrmUnzip");
         QTest::mouseClick(named<QPushButton>(*dialog, "B_Options"), Qt::LeftButton);
         return dialog;
     }},
    {"language", [](TMain &main) { return showNamed(main, "LangForm"); }},
    {"custom files",
     [](TMain &main) -> QWidget * {
         main.findChild<QAction *>(QStringLiteral("Customfile1"))->trigger();
         return named(main, "Custom_ext");
     }},
    {"about box, closed and shown again",
     [](TMain &main) {
         QWidget *box = showNamed(main, "AboutBox");
         QTest::keyClick(box, Qt::Key_Escape);
         box->show();
         return box;
     }},
    {"wait window", [](TMain &main) { return showNamed(main, "FrmWaitZip"); }},
    {"font dialog",
     [](TMain &main) -> QWidget * {
         auto *dialog = new TFontDialog(&main);
         dialog->setChoice(dosFont(), Qt::blue);
         dialog->show();
         return dialog;
     }},
    {"find window", [](TMain &main) { return triggered(main, "M_Find", "FindForm"); }},
    {"help window",
     [](TMain &main) -> QWidget * {
         auto *help = named<THelpWindow>(main, "HelpWindow");
         help->showContents();
         return help;
     }},
};

// The shipped language files, and "" for the built-in texts.
QStringList shippedLanguages()
{
    const QDir lang(QStringLiteral(QUORIL_SOURCE_DIR "/resources/lang"));
    return QStringList{QString()} + lang.entryList({QStringLiteral("*.QLG")}, QDir::Files);
}

// The program started in a working folder with the language files, quoril.ini naming the
// start-up language ("" for none), and an archive selected with an MP3 file beside it.
struct Started
{
    explicit Started(const QString &language)
    {
        const QDir lang(QStringLiteral(QUORIL_SOURCE_DIR "/resources/lang"));
        for (const QString &file : lang.entryList({QStringLiteral("*.QLG")}, QDir::Files))
            QFile::copy(lang.filePath(file), dir.filePath(file));
        if (!language.isEmpty())
            writeFile(dir.filePath(QStringLiteral("quoril.ini")),
                      "[International]\r\nLanguage=" + language.toUtf8() + "\r\n");
        makeZip(dir.filePath(QStringLiteral("GAME.ZIP")),
                {{QStringLiteral("FILE_ID.DIZ"), "A game"}, {QStringLiteral("game.exe"), "MZ"}});
        writeFile(dir.filePath(QStringLiteral("song.mp3")), QByteArray(1000, '\0'));
        QDir::setCurrent(dir.path());
        main = std::make_unique<TMain>();
        main->CreateSecondaryWindows();
        main->show();
        main->SelectPath(dir.filePath(QStringLiteral("GAME.ZIP")));
    }
    ~Started()
    {
        main.reset();
        QDir::setCurrent(QDir::tempPath());
    }
    // Brings up window `index` of the table and waits until it is laid out on screen.
    QWidget *open(int index)
    {
        QWidget *window = Windows[index].open(*main);
        if (window && QTest::qWaitForWindowExposed(window))
            QCoreApplication::processEvents();
        return window;
    }

    QTemporaryDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<TMain> main;
};

// Draws `text` black on white in the font; returns the picture.
QImage render(const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 8, metrics.height() + 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(4, 4 + metrics.ascent(), text);
    return image;
}

// The smallest rectangle around every pixel that is not white.
QRect inked(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                box |= QRect(x, y, 1, 1);
    return box;
}

int greyPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += pixel != qRgb(0, 0, 0) && pixel != qRgb(255, 255, 255);
        }
    return count;
}

bool allBlack(const QImage &image, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != qRgb(0, 0, 0))
                return false;
    return true;
}

} // namespace

class TestLooks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(loadEngine()); }
    void captionsFit_data();
    void captionsFit();
    void clippingIsSeen_data();
    void clippingIsSeen();
    void messageBoxes_data();
    void messageBoxes();
    void dosFontIsPixelExact();
};

void TestLooks::captionsFit_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("window");
    for (const QString &language : shippedLanguages())
        for (int i = 0; i < int(std::size(Windows)); ++i)
            QTest::addRow("%s, %s", language.isEmpty() ? "built-in" : qPrintable(language),
                          Windows[i].name)
                << language << i;
}

void TestLooks::captionsFit()
{
    QFETCH(QString, language);
    QFETCH(int, window);
    // A layout set up twice, or a control given two layouts, is a fault too.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QLayout|QWidget::setLayout")));
    Started program(language);
    if (!language.isEmpty())
        QCOMPARE(program.main->LanguageName, language);
    QWidget *shown = program.open(window);
    QVERIFY(shown && shown->isVisible());
    const QStringList clipped = clippedCaptions(shown);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u'\n')));
    QVERIFY2(program.prompter.messages.isEmpty(),
             qPrintable(program.prompter.messages.join(u'\n')));
}

// The check itself: each kind of control squeezed below its caption's width is reported.
void TestLooks::clippingIsSeen_data()
{
    QTest::addColumn<std::function<QWidget *(QWidget *)>>("make");
    const QString text = QStringLiteral("A caption far too long for its room");
    QTest::newRow("button") << std::function(
        [=](QWidget *w) -> QWidget * { return new QPushButton(text, w); });
    QTest::newRow("check box") << std::function(
        [=](QWidget *w) -> QWidget * { return new QCheckBox(text, w); });
    QTest::newRow("radio button") << std::function(
        [=](QWidget *w) -> QWidget * { return new QRadioButton(text, w); });
    QTest::newRow("label") << std::function(
        [=](QWidget *w) -> QWidget * { return new QLabel(text, w); });
    QTest::newRow("group box") << std::function(
        [=](QWidget *w) -> QWidget * { return new QGroupBox(text, w); });
    QTest::newRow("tab") << std::function([=](QWidget *w) -> QWidget * {
        auto *tabs = new QTabWidget(w);
        tabs->addTab(new QWidget, text);
        return tabs;
    });
    QTest::newRow("child beyond its parent") << std::function([=](QWidget *w) -> QWidget * {
        auto *inner = new QWidget(w);
        auto *label = new QLabel(QStringLiteral("Fits"), inner);
        label->setGeometry(-20, 0, 100, 30);
        return inner;
    });
}

void TestLooks::clippingIsSeen()
{
    QFETCH(std::function<QWidget *(QWidget *)>, make);
    QWidget window;
    window.setWindowTitle(QStringLiteral("T"));
    window.resize(300, 200);
    QWidget *control = make(&window);
    control->setGeometry(10, 10, 60, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(clippedCaptions(&window).size(), 1);
}

void TestLooks::messageBoxes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Prompter::Icon>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::newRow("notice") << "Preferences saved." << Prompter::Icon::Information << QString()
                            << QMessageBox::Information;
    QTest::newRow("error") << "Error setting Zip Options" << Prompter::Icon::Critical << QString()
                           << QMessageBox::Critical;
    QTest::newRow("error with a caption")
        << "Cannot wrote on disk. Are you running program from a CD?\nIf so, you cannot save "
           "preferences!"
        << Prompter::Icon::Critical << "Disk error" << QMessageBox::Critical;
}

// Each kind of message has its icon, and a short text does not cut off the title.
void TestLooks::messageBoxes()
{
    QFETCH(QString, text);
    QFETCH(Prompter::Icon, kind);
    QFETCH(QString, caption);
    QFETCH(QMessageBox::Icon, icon);
    std::unique_ptr<QMessageBox> box(MessageBoxPrompter::messageBox(text, kind, caption, nullptr));
    QCOMPARE(box->icon(), icon);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    const QStringList clipped = clippedCaptions(box.get());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u'\n')));

    std::unique_ptr<QMessageBox> question(
        MessageBoxPrompter::questionBox(QStringLiteral("Save the changes ?"), nullptr));
    QCOMPARE(question->icon(), QMessageBox::Question);
}

// A run of full blocks is one solid area, a run of single lines one continuous line one pixel
// high, and every pixel is either ink or paper; an "m" keeps its middle stroke.
void TestLooks::dosFontIsPixelExact()
{
    const QFont font = dosFont();
    if (!font.family().startsWith(QLatin1String("Px ")))
        QSKIP("no DOS font installed (Debian package fonts-pc)");
    const QFontMetrics metrics(font);

    const QImage blocks = render(font, QString(10, QChar(0x2588)));
    const QRect block = inked(blocks);
    QCOMPARE(block.width(), 10 * metrics.horizontalAdvance(QChar(0x2588)));
    QCOMPARE(block.height(), metrics.height());
    QVERIFY2(allBlack(blocks, block), "a run of blocks has seams or pale columns");

    const QImage line = render(font, QString(10, QChar(0x2500)));
    const QRect single = inked(line);
    QCOMPARE(single.height(), 1);
    QCOMPARE(single.width(), 10 * metrics.horizontalAdvance(QChar(0x2500)));
    QVERIFY2(allBlack(line, single), "a single line is pale or broken");

    const QString words = QStringLiteral("Game Demo");
    const QImage text = render(font, words);
    QCOMPARE(greyPixels(text), 0);
    // Across the middle of the "m", three stems: ink, paper, ink, paper, ink.
    const int cell = metrics.horizontalAdvance(u'm');
    const int left = 4 + metrics.horizontalAdvance(words.left(words.indexOf(u'm')));
    const int y = 4 + metrics.ascent() - metrics.xHeight() / 2;
    int stems = 0;
    bool inInk = false;
    for (int x = left; x < left + cell; ++x) {
        const bool ink = text.pixel(x, y) == qRgb(0, 0, 0);
        stems += ink && !inInk;
        inInk = ink;
    }
    QCOMPARE(stems, 3);

    // Accepted unchanged, the font dialog gives the pane the same pixel-exact font.
    TFontDialog dialog;
    dialog.setChoice(font, Qt::blue);
    QCOMPARE(dialog.chosenFont(), font);
}

// --screenshot DIR writes a picture of every window in every shipped language and ends.
static int screenshots(const QString &dir)
{
    QDir().mkpath(dir);
    bool ok = true;
    for (const QString &language : shippedLanguages()) {
        for (int i = 0; i < int(std::size(Windows)); ++i) {
            Started program(language);
            QWidget *window = program.open(i);
            const QString name = QStringLiteral("%1/%2 %3.png")
                                     .arg(dir, language.isEmpty() ? "built-in" : language,
                                          QString::fromLatin1(Windows[i].name));
            ok = window && window->grab().save(name) && ok;
        }
    }
    return ok ? 0 : 1;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
    if (at > 0) {
        if (!loadEngine())
            return 1;
        return screenshots(at + 1 < args.size() ? args.at(at + 1) : QStringLiteral("."));
    }
    TestLooks test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_looks.moc"
