// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/aboutbox.h"
#include "shell/glyphs.h"
#include "shell/helpwindow.h"
#include "shell/trayshell.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

// A plain main window with a menu bar, standing in for the program's own.
struct Fixture
{
    QMainWindow main;
    TAboutBox about{&main};
    std::unique_ptr<TTrayShell> shell;
    int quits = 0;

    Fixture()
    {
        main.menuBar()->addMenu(QStringLiteral("File"));
        main.menuBar()->addMenu(QStringLiteral("Help"));
        main.setCentralWidget(new QWidget);
        shell = std::make_unique<TTrayShell>(&main, &about);
        shell->setTrayAvailable(true);
        shell->quit = [this] { ++quits; };
    }
};

bool isWhite(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) > 200 && qBlue(pixel) > 200;
}

} // namespace

// Receives the URLs that the desktop would open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TstShell : public QObject
{
    Q_OBJECT
private slots:
    void wiring();
    void hideAndRestore_data();
    void hideAndRestore();
    void withoutTrayTheButtonMinimises();
    void trayHostComesAndGoes_data();
    void trayHostComesAndGoes();
    void aboutBoxFromTrayBlocksRestore();
    void endProgram_data();
    void endProgram();

    void historyThreePresses();
    void historyStopsAtItsEnd();
    void historyRollsByWholeRows();
    void closingStopsHistory_data();
    void closingStopsHistory();
    void mailLinkOpensMailer();

    void marginPainting_data();
    void marginPainting();
    void menuKeepsMarginFree();

    void helpWindow_data();
    void helpWindow();
    void shippedHelpFile();
};

void TstShell::wiring()
{
    Fixture f;
    QCOMPARE(f.main.menuBar()->cornerWidget(Qt::TopRightCorner), f.shell->B_Caption);
    QCOMPARE(f.main.findChild<QToolButton *>(QStringLiteral("B_Caption")), f.shell->B_Caption);
    QCOMPARE(f.shell->B_Caption->toolTip(), QStringLiteral("Minimize to tray"));
    QCOMPARE(f.shell->Tray1->toolTip(), QStringLiteral("Quoril 2000"));
    QVERIFY(!f.shell->Tray1->isVisible());
    QCOMPARE(f.shell->Tray1->contextMenu(), f.shell->PopupMenu);

    const QList<QAction *> items = f.shell->PopupMenu->actions();
    QCOMPARE(items.size(), 4);
    const QStringList captions{QStringLiteral("Restore"), QString(),
                               QStringLiteral("About Quoril..."), QStringLiteral("End program")};
    const QImage strip = glyphs::popupImageStrip().toImage();
    QCOMPARE(strip.size(), QSize(64, 16));
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(items[i]->text(), captions[i]);
        const int tag = items[i]->data().toInt();
        if (items[i]->isSeparator()) {
            QVERIFY(items[i]->icon().isNull());
            continue;
        }
        // Each item carries its own cell of the strip.
        const QImage glyph =
            items[i]->icon().pixmap(16, 16).toImage().convertToFormat(strip.format());
        QCOMPARE(glyph, strip.copy((tag - 1) * 16, 0, 16, 16));
    }
    QVERIFY(glyphs::popupImageCell(0).toImage() != glyphs::popupImageCell(1).toImage());
    QVERIFY(glyphs::popupImageCell(1).toImage() != glyphs::popupImageCell(2).toImage());
}

enum class Back { Trigger, RestoreItem, DoubleClick };

void TstShell::hideAndRestore_data()
{
    QTest::addColumn<bool>("maximised");
    QTest::addColumn<Back>("back");
    QTest::newRow("normal window, left click on the icon") << false << Back::Trigger;
    QTest::newRow("normal window, menu item Restore") << false << Back::RestoreItem;
    QTest::newRow("normal window, double click on the icon") << false << Back::DoubleClick;
    QTest::newRow("maximised window, left click on the icon") << true << Back::Trigger;
    QTest::newRow("maximised window, menu item Restore") << true << Back::RestoreItem;
}

void TstShell::hideAndRestore()
{
    QFETCH(bool, maximised);
    QFETCH(Back, back);
    Fixture f;
    f.main.setGeometry(120, 90, 520, 340);
    if (maximised)
        f.main.showMaximized();
    else
        f.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.main));
    const QRect before = f.main.geometry();

    QTest::mouseClick(f.shell->B_Caption, Qt::LeftButton);
    QVERIFY(f.main.isHidden());
    QVERIFY(f.shell->Tray1->isVisible());
    QVERIFY(f.shell->isInTray());

    // The context menu and the middle button do not bring the window back.
    emit f.shell->Tray1->activated(QSystemTrayIcon::Context);
    emit f.shell->Tray1->activated(QSystemTrayIcon::MiddleClick);
    QVERIFY(f.main.isHidden());

    switch (back) {
    case Back::Trigger:
        emit f.shell->Tray1->activated(QSystemTrayIcon::Trigger);
        break;
    case Back::RestoreItem:
        f.shell->Restore1->trigger();
        break;
    case Back::DoubleClick:
        emit f.shell->Tray1->activated(QSystemTrayIcon::DoubleClick);
        break;
    }
    QVERIFY(f.main.isVisible());
    QVERIFY(!f.shell->Tray1->isVisible());
    QCOMPARE(f.main.isMaximized(), maximised);
    QVERIFY(!f.main.isMinimized());
    QCOMPARE(f.main.geometry(), before);
    QCOMPARE(f.quits, 0);
}

void TstShell::withoutTrayTheButtonMinimises()
{
    Fixture f;
    f.shell->setTrayAvailable(false);
    f.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.main));
    QTest::mouseClick(f.shell->B_Caption, Qt::LeftButton);
    QVERIFY(!f.main.isHidden());
    QVERIFY(f.main.isMinimized());
    QVERIFY(!f.shell->Tray1->isVisible());
}

// Whatever the order of minimising, tray hosts appearing and leaving, the window stays
// reachable: shown by the icon, or minimised (never hidden) when the icon has gone.
void TstShell::trayHostComesAndGoes_data()
{
    QTest::addColumn<bool>("minimisedFirst");
    QTest::addColumn<bool>("hostLeaves");
    QTest::newRow("minimised before the host came, icon clicked") << true << false;
    QTest::newRow("host leaves while in the tray") << false << true;
}

void TstShell::trayHostComesAndGoes()
{
    QFETCH(bool, minimisedFirst);
    QFETCH(bool, hostLeaves);
    Fixture f;
    f.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.main));
    if (minimisedFirst)
        f.main.showMinimized();
    f.shell->B_CaptionClick();
    QVERIFY(f.main.isHidden());
    if (hostLeaves) {
        f.shell->setTrayAvailable(false);
        f.shell->checkTrayHost();
        QVERIFY(!f.main.isHidden());
        QVERIFY(f.main.isMinimized());
    } else {
        emit f.shell->Tray1->activated(QSystemTrayIcon::Trigger);
        QVERIFY(f.main.isVisible());
        QVERIFY(!f.main.isMinimized());
    }
    QVERIFY(!f.shell->isInTray());
}

void TstShell::aboutBoxFromTrayBlocksRestore()
{
    Fixture f;
    f.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.main));
    f.shell->B_CaptionClick();
    QVERIFY(f.main.isHidden());

    bool aboutShown = false, hiddenAfterRestore = false, inTrayAfterRestore = false;
    bool secondAboutReturned = false, restoredByIcon = false;
    QTimer::singleShot(0, &f.about, [&] {
        aboutShown = f.about.isVisible();
        f.shell->Restore1->trigger();
        hiddenAfterRestore = f.main.isHidden();
        inTrayAfterRestore = f.shell->isInTray();
        f.shell->AboutQuoril->trigger(); // must return at once, without a second modal loop
        secondAboutReturned = true;
        // The icon is a window of its own on some desktops: the modal box must not swallow a
        // real click on it.
        QPushButton icon;
        QObject::connect(&icon, &QPushButton::clicked, f.shell->Tray1,
                         [&] { emit f.shell->Tray1->activated(QSystemTrayIcon::Trigger); });
        icon.show();
        QTest::mouseClick(icon.windowHandle(), Qt::LeftButton, {}, icon.rect().center());
        restoredByIcon = f.main.isVisible() && !f.shell->isInTray();
        QTest::mouseClick(f.about.B_Close, Qt::LeftButton);
    });
    f.shell->AboutQuoril->trigger();
    QVERIFY(aboutShown);
    QVERIFY(hiddenAfterRestore);
    QVERIFY(inTrayAfterRestore);
    QVERIFY(secondAboutReturned);
    QVERIFY(restoredByIcon);
    QVERIFY(!f.about.isVisible());
}

void TstShell::endProgram_data()
{
    QTest::addColumn<bool>("hasCallback");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("saveWorks");
    QTest::addColumn<bool>("expectAsked");
    QTest::addColumn<bool>("expectSaved");
    QTest::addColumn<bool>("expectEnd");
    QTest::newRow("no question handler: ends at once")
        << false << false << false << false << false << false << true;
    QTest::newRow("no unsaved edits: ends without asking")
        << true << false << false << false << false << false << true;
    QTest::newRow("unsaved edits, Yes, save works: saves and ends")
        << true << true << true << true << true << true << true;
    QTest::newRow("unsaved edits, Yes, save fails: stays open")
        << true << true << true << false << true << true << false;
    QTest::newRow("unsaved edits, No: ends without saving")
        << true << true << false << false << true << false << true;
}

void TstShell::endProgram()
{
    QFETCH(bool, hasCallback);
    QFETCH(bool, unsaved);
    QFETCH(bool, answer);
    QFETCH(bool, saveWorks);
    QFETCH(bool, expectAsked);
    QFETCH(bool, expectSaved);
    QFETCH(bool, expectEnd);

    testsupport::ScriptedPrompter prompter;
    prompter.answers << answer;
    Fixture f;
    f.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.main));
    f.shell->B_CaptionClick();

    bool visibleWhenAsked = false, saved = false;
    if (hasCallback) {
        // What the main window does on exit: ask only with unsaved edits.
        f.shell->confirmExit = [&] {
            visibleWhenAsked = f.main.isVisible();
            if (!unsaved)
                return true;
            if (!askYesNo(QStringLiteral("Save the changes before exit?")))
                return true;
            saved = true;
            return saveWorks;
        };
    }
    f.shell->Exitprogram2->trigger();

    QCOMPARE(prompter.questions.size(), expectAsked ? 1 : 0);
    QCOMPARE(saved, expectSaved);
    QCOMPARE(f.quits, expectEnd ? 1 : 0);
    // The window comes back before any question, so the question has a visible owner.
    QVERIFY(f.main.isVisible());
    QVERIFY(!f.shell->isInTray());
    if (hasCallback)
        QVERIFY(visibleWhenAsked);
}

void TstShell::historyThreePresses()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(box.SP1->isHidden());

    QTest::mouseClick(box.B_history, Qt::LeftButton);
    QVERIFY(box.SP1->isVisible());
    QVERIFY(box.SP1->isRunning());
    QCOMPARE(box.SP1->position(), 0);
    for (int i = 0; i < 7; ++i)
        box.SP1->tick();
    QCOMPARE(box.SP1->position(), 7);

    QTest::mouseClick(box.B_history, Qt::LeftButton);
    QVERIFY(box.SP1->isHidden());
    QVERIFY(!box.SP1->isRunning());
    box.SP1->tick(); // a stopped panel does not move
    QCOMPARE(box.SP1->position(), 7);

    QTest::mouseClick(box.B_history, Qt::LeftButton);
    QVERIFY(box.SP1->isVisible());
    QVERIFY(box.SP1->isRunning());
    QCOMPARE(box.SP1->position(), 0);
    box.close();
}

void TstShell::historyStopsAtItsEnd()
{
    TAboutBox box;
    box.show();
    QSignalSpy stops(box.SP1, &TScrollPanel::stopPlay);
    box.B_historyClick();
    const int end = box.SP1->endPosition();
    QCOMPARE(end, (box.SP1->lines().size() - 1) * QFontMetrics(box.SP1->font()).lineSpacing());
    QVERIFY(end > 0);

    int ticks = 0;
    while (box.SP1->isRunning() && ticks < end + 100) {
        box.SP1->tick();
        ++ticks;
    }
    // One pixel per tick up to the last line at the top edge, then one tick that stops.
    QCOMPARE(ticks, end + 1);
    QCOMPARE(box.SP1->position(), end);
    QCOMPARE(stops.size(), 1);
    QVERIFY(box.SP1->isHidden());
    QVERIFY(box.Panel1->isVisible());

    // After the end, the next press starts over from the first line.
    box.B_historyClick();
    QVERIFY(box.SP1->isVisible());
    QCOMPARE(box.SP1->position(), 0);
    box.close();
}

void TstShell::historyRollsByWholeRows()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.B_historyClick();
    const QImage first = box.SP1->grab().toImage();
    const int row = box.SP1->lineHeight();
    for (int i = 0; i < row; ++i)
        box.SP1->tick();
    const QImage later = box.SP1->grab().toImage();

    // Navy text is drawn at all.
    const QRect area = box.SP1->contentsRect();
    int navy = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            navy += qBlue(first.pixel(x, y)) > 90 && qRed(first.pixel(x, y)) < 60;
    QVERIFY(navy > 50);
    // One row of scrolling moves every line up by exactly one row.
    for (int y = area.top(); y <= area.bottom() - row; ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            QCOMPARE(later.pixel(x, y), first.pixel(x, y + row));
    box.close();
}

void TstShell::closingStopsHistory_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Close button") << false;
    QTest::newRow("Escape key") << true;
}

void TstShell::closingStopsHistory()
{
    QFETCH(bool, escape);
    TAboutBox box;
    bool wasRunning = false;
    QTimer::singleShot(0, &box, [&] {
        QTest::mouseClick(box.B_history, Qt::LeftButton);
        wasRunning = box.SP1->isRunning();
        if (escape)
            QTest::keyClick(&box, Qt::Key_Escape);
        else
            QTest::mouseClick(box.B_Close, Qt::LeftButton);
    });
    box.exec();
    QVERIFY(wasRunning);
    QVERIFY(!box.isVisible());
    QVERIFY(!box.SP1->isRunning());
    QVERIFY(box.SP1->isHidden());
}

void TstShell::mailLinkOpensMailer()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.HyperLink1, Qt::LeftButton);
    QTest::keyClick(box.HyperLink1, Qt::Key_Return);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    const QUrl expected(QStringLiteral("mailto:quoril-team@users.noreply.example"));
    QCOMPARE(catcher.urls, QList<QUrl>({expected, expected}));
    QCOMPARE(box.HyperLink1->text(), QStringLiteral("quoril-team@users.noreply.example"));
    box.close();
}

void TstShell::marginPainting_data()
{
    QTest::addColumn<QRect>("strip");
    QTest::newRow("menu of four items") << QRect(7, 9, 30, 90);
    QTest::newRow("tall strip, 32 bands") << QRect(0, 0, 30, 300);
    QTest::newRow("strip lower than 32 pixels") << QRect(3, 4, 30, 20);
    QTest::newRow("one pixel high") << QRect(3, 4, 30, 1);
}

void TstShell::marginPainting()
{
    QFETCH(QRect, strip);
    QImage image(strip.right() + 12, strip.bottom() + 12, QImage::Format_RGB32);
    const QRgb outside = qRgb(0, 255, 0);
    image.fill(outside);
    {
        QPainter painter(&image);
        PopupMenuDrawMargin(painter, strip);
    }

    // The gradient, read along the right edge where the word never reaches.
    const int x = strip.right();
    QCOMPARE(image.pixel(x, strip.top()), qRgb(255, 0, 0));
    if (strip.height() > 1)
        QCOMPARE(image.pixel(x, strip.bottom()), qRgb(63, 0, 0));
    QSet<QRgb> bands;
    for (int y = strip.top(); y <= strip.bottom(); ++y) {
        const QRgb pixel = image.pixel(x, y);
        bands.insert(pixel);
        if (y > strip.top())
            QVERIFY(qRed(pixel) <= qRed(image.pixel(x, y - 1)));
    }
    QCOMPARE(bands.size(), qMin(32, strip.height()));

    // The white word stands upright along the left edge and ends 5 pixels above the bottom.
    QRect word;
    for (int y = 0; y < image.height(); ++y)
        for (int xx = 0; xx < image.width(); ++xx)
            if (isWhite(image.pixel(xx, y)))
                word |= QRect(xx, y, 1, 1);
    if (strip.height() >= 80) {
        QVERIFY(word.height() > 2 * word.width());
        QVERIFY(word.left() >= strip.left());
        QVERIFY(word.left() <= strip.left() + 6);
        QVERIFY(word.bottom() <= strip.bottom() - 5);
        QVERIFY(word.bottom() >= strip.bottom() - 12);
    }

    // Nothing outside the strip is touched.
    for (int y = 0; y < image.height(); ++y)
        for (int xx = 0; xx < image.width(); ++xx)
            if (!strip.contains(xx, y))
                QCOMPARE(image.pixel(xx, y), outside);
}

void TstShell::menuKeepsMarginFree()
{
    Fixture f;
    TTrayMenu *menu = f.shell->PopupMenu;
    menu->resize(menu->sizeHint());
    const QRect margin = menu->marginRect();
    for (QAction *item : menu->actions())
        QVERIFY(menu->actionGeometry(item).left() >= margin.right());
    const QImage image = menu->grab().toImage();
    QCOMPARE(image.pixel(margin.right(), margin.top()), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(margin.right(), margin.bottom()), qRgb(63, 0, 0));
}

void TstShell::helpWindow_data()
{
    QTest::addColumn<bool>("inFirst");
    QTest::addColumn<bool>("inSecond");
    QTest::newRow("missing everywhere: a message, no window") << false << false;
    QTest::newRow("beside the program") << true << false;
    QTest::newRow("only in the data folder") << false << true;
}

void TstShell::helpWindow()
{
    QFETCH(bool, inFirst);
    QFETCH(bool, inSecond);
    QTemporaryDir first, second;
    const QString name = QString::fromUtf8(THelpWindow::HelpFileName);
    if (inFirst)
        testsupport::writeFile(first.filePath(name), "<html><body><h1>First</h1></body></html>");
    if (inSecond)
        testsupport::writeFile(second.filePath(name), "<html><body><h1>Second</h1></body></html>");

    testsupport::ScriptedPrompter prompter;
    THelpWindow help;
    help.setSearchDirs({first.path(), second.path()});
    const bool shown = help.showContents();
    QCOMPARE(shown, inFirst || inSecond);
    QCOMPARE(help.isVisible(), shown);
    if (!shown) {
        QCOMPARE(prompter.messages.size(), 1);
        QVERIFY(prompter.messages.first().contains(name));
        return;
    }
    QVERIFY(prompter.messages.isEmpty());
    QCOMPARE(help.toPlainText().trimmed(),
             inFirst ? QStringLiteral("First") : QStringLiteral("Second"));
    QCOMPARE(help.source(),
             QUrl::fromLocalFile(inFirst ? first.filePath(name) : second.filePath(name)));
}

void TstShell::shippedHelpFile()
{
    // The build copies the help file beside the programs, where the test runs too.
    THelpWindow help;
    QVERIFY2(!help.findHelpFile().isEmpty(), qPrintable(help.searchDirs().join(", ")));
    QVERIFY(help.showContents());
    const QString text = help.toPlainText();
    for (const char *topic :
         {"Auto select", "file_id.diz", "Save info", "Extract...", "Easy zip packer",
          "quoril2k.ext", "<filename>", ".QLG", "[International]", "Minimize to tray",
          "End program", "quoril-cli --help"})
        QVERIFY2(text.contains(QLatin1String(topic)), topic);
}

// --screenshot DIR writes pictures of the about box and the tray menu and ends.
static int screenshots(const QString &dir)
{
    QDir().mkpath(dir);
    Fixture f;
    f.main.resize(520, 200);
    f.main.show();
    bool ok = f.main.grab().save(dir + QStringLiteral("/menubar_button.png"));
    f.about.show();
    ok = f.about.grab().save(dir + QStringLiteral("/aboutbox.png")) && ok;
    f.about.B_historyClick();
    for (int i = 0; i < 60; ++i)
        f.about.SP1->tick();
    ok = f.about.grab().save(dir + QStringLiteral("/aboutbox_history.png")) && ok;
    f.about.B_CloseClick();
    f.shell->PopupMenu->resize(f.shell->PopupMenu->sizeHint());
    ok = f.shell->PopupMenu->grab().save(dir + QStringLiteral("/traymenu.png")) && ok;
    return ok ? 0 : 1;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
    if (at > 0)
        return screenshots(at + 1 < args.size() ? args.at(at + 1) : QStringLiteral("."));
    TstShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shell.moc"
