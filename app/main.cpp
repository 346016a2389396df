#include "app/mainwindow.h"
#include "app/quorilapplication.h"
#include "common/messageboxprompter.h"
#include "common/pathbytes.h"

#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char *argv[])
{
    QuorilApplication app(argc, argv);
    // The program ends through its own ways out (Exit, closing the main window, "End
    // program"), never because the last visible window closed: while the main window is
    // hidden in the tray, closing the about box must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBoxPrompter prompter;
    Prompter::install(&prompter);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows and edits the descriptions inside ZIP archives and the tags of "
                       "MP3 files."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("path"),
                                 QStringLiteral("A folder, archive or MP3 file to select."));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Write a picture of the window to FILE once it is shown, then end."),
        QStringLiteral("FILE"));
    parser.addOption(screenshot);
    // The arguments with their bytes: a file name need not be UTF-8.
    parser.process(pathbytes::arguments(argc, argv));

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
    if (!parser.positionalArguments().isEmpty())
        window.SelectPath(parser.positionalArguments().constFirst());
    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        QTimer::singleShot(1500, &window, [&window, file] {
            window.grab().save(file);
            QCoreApplication::exit(0);
        });
    }
    return app.exec();
}
