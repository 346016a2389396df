#include "app/mainwindow.h"
#include "app/quorilapplication.h"
#include "common/messageboxprompter.h"
#include "common/pathbytes.h"

#include <QCommandLineParser>
#include <QTimer>

#include <cstring>

namespace {

struct CommandLine
{
    QCommandLineParser parser;
    const QCommandLineOption screenshot{
        QStringLiteral("screenshot"),
        QStringLiteral("Write a picture of the window to FILE once it is shown, then end."),
        QStringLiteral("FILE")};

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
    if (wantsTextOnly(argc, argv)) {
        QCoreApplication core(argc, argv);
        QuorilApplication::setIdentity();
        CommandLine().parser.process(pathbytes::arguments(argc, argv)); // prints and ends
        return 0;
    }
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
    const QString failure = TMain::EngineCheck();
    if (!failure.isEmpty()) {
        showMessage(failure, Prompter::Icon::Critical);
        return 1;
    }
    TMain window;
    prompter.setParentWindow(&window);
    window.CreateSecondaryWindows();
    window.show();
    if (!commandLine.parser.positionalArguments().isEmpty())
        window.OpenStartPath(commandLine.parser.positionalArguments().constFirst());
    if (commandLine.parser.isSet(commandLine.screenshot)) {
        const QString file = commandLine.parser.value(commandLine.screenshot);
        QTimer::singleShot(1500, &window, [&window, file] {
            window.grab().save(file);
            QCoreApplication::exit(0);
        });
    }
    return app.exec();
}
