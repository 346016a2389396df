// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainwindow.h"
#include "app/quorilapplication.h"
#include "common/messageboxprompter.h"
#include "common/pathbytes.h"
#include "common/timezone.h"
#include "find/findform.h"
#include "find/findsession.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstring>
#include <future>

namespace {

struct CommandLine
{
    QCommandLineParser parser;
    const QCommandLineOption screenshot{
        QStringLiteral("screenshot"),
        QStringLiteral("Write a picture of the window to FILE once it is shown, then end."),
        QStringLiteral("FILE")};
    const QCommandLineOption find{
        QStringLiteral("find"),
        QStringLiteral("Open the find window on the selected folder with QUERY typed; with "
                       "--screenshot, the picture is of that window once it has its results."),
        QStringLiteral("QUERY")};

    CommandLine()
    {
        parser.setApplicationDescription(QStringLiteral(
            "Shows and edits the descriptions inside ZIP archives and the tags of MP3 files.\n"
            "Exit codes: 0 ended normally; 1 the zip engine could not be loaded, or the command "
            "line is wrong."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument(
            QStringLiteral("path"),
            QStringLiteral("A folder, archive or MP3 file to select and show at start."),
            QStringLiteral("[path]"));
        parser.addOption(screenshot);
        parser.addOption(find);
    }
};

// --help and --version are answered without opening the display, so that they also work
// where no desktop runs. (--help-all lists the window system's options, so it opens it.)
bool wantsTextOnly(int argc, char *argv[])
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        for (const char *option : {"-h", "--help", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    timezone_setup::nameSystemZone();
    if (wantsTextOnly(argc, argv)) {
        QCoreApplication core(argc, argv);
        QuorilApplication::setIdentity();
        CommandLine().parser.process(pathbytes::arguments(argc, argv)); // prints and ends
        return 0;
    }
    // The engine is loaded while the application sets itself up (fonts, plugins): on a second
    // core its libraries are mapped meanwhile. The check's verdict is awaited below.
    std::future<QString> engineCheck = std::async(std::launch::async, &TMain::EngineCheck);
    QuorilApplication app(argc, argv);
    // The program ends through its own ways out (Exit, closing the main window, "End
    // program"), never because the last visible window closed: while the main window is
    // hidden in the tray, closing the about box must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBoxPrompter prompter;
    Prompter::install(&prompter);

    CommandLine commandLine;
    // The arguments with their bytes: a file name need not be UTF-8.
    commandLine.parser.process(pathbytes::arguments(argc, argv));

    // The engine check comes first; without a usable engine the program ends.
    const QString failure = engineCheck.get();
    if (!failure.isEmpty()) {
        showMessage(failure, Prompter::Icon::Critical);
        return 1;
    }
    TMain window;
    prompter.setParentWindow(&window);
    window.CreateSecondaryWindows(TMain::WindowBuild::AfterFirstFrame);
    window.show();
    const bool finding = commandLine.parser.isSet(commandLine.find);
    // Run once the event loop runs: the "Cannot find" notice is modal, and the screenshot's
    // timer below must already tick while it is open, so that the program still ends.
    QTimer::singleShot(0, &window, [&window, &commandLine, finding] {
        if (!commandLine.parser.positionalArguments().isEmpty())
            window.OpenStartPath(commandLine.parser.positionalArguments().constFirst());
        if (finding) {
            window.findChild<QAction *>(QStringLiteral("M_Find"))->trigger();
            window.findChild<TFindForm *>(QStringLiteral("FindForm"))
                ->findChild<QLineEdit *>(QStringLiteral("E_Query"))
                ->setText(commandLine.parser.value(commandLine.find));
        }
    });
    if (commandLine.parser.isSet(commandLine.screenshot)) {
        const QString file = commandLine.parser.value(commandLine.screenshot);
        auto *poll = new QTimer(&window);
        auto *clock = new QElapsedTimer;
        clock->start();
        // Once the window has settled: the find window when its results are in.
        QObject::connect(poll, &QTimer::timeout, &window, [=, &window] {
            auto *form =
                finding ? window.findChild<TFindForm *>(QStringLiteral("FindForm")) : nullptr;
            const bool settled =
                !form || (!form->session()->isIndexing() && form->session()->isAnswered());
            if (clock->elapsed() < 1500 || (!settled && clock->elapsed() < 15000))
                return;
            poll->stop();
            delete clock;
            // A notice that is open is what the user sees; the exit below also ends its loop.
            QWidget *target = QApplication::activeModalWidget();
            if (!target)
                target = form ? static_cast<QWidget *>(form) : &window;
            // With a window manager the picture shows the window as the user sees it, frame
            // included.
            const QRect frame = target->frameGeometry();
            QPixmap picture = target->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                                           frame.height());
            if (picture.isNull())
                picture = target->grab();
            picture.save(file);
            QCoreApplication::exit(0);
        });
        poll->start(100);
    }
    return app.exec();
}
