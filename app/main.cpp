#include "app/mainwindow.h"
#include "app/quorilapplication.h"
#include "common/messageboxprompter.h"
#include "find/findform.h"
#include "find/findsession.h"

#include <QAction>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
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
    const QCommandLineOption find(
        QStringLiteral("find"),
        QStringLiteral("Open the find window on the selected folder with QUERY typed; with "
                       "--screenshot, the picture is of that window once it has its results."),
        QStringLiteral("QUERY"));
    parser.addOption(find);
    parser.process(app);

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
    TFindForm *form = nullptr;
    if (parser.isSet(find)) {
        window.findChild<QAction *>(QStringLiteral("M_Find"))->trigger();
        form = window.findChild<TFindForm *>(QStringLiteral("FindForm"));
        form->findChild<QLineEdit *>(QStringLiteral("E_Query"))->setText(parser.value(find));
    }
    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        QWidget *target = form ? static_cast<QWidget *>(form) : &window;
        auto *poll = new QTimer(&window);
        auto *clock = new QElapsedTimer;
        clock->start();
        // Once the window has settled: the find window when its results are in.
        QObject::connect(poll, &QTimer::timeout, &window, [=] {
            const bool settled =
                !form || (!form->session()->isIndexing() && form->session()->isAnswered());
            if (clock->elapsed() < 1500 || (!settled && clock->elapsed() < 15000))
                return;
            poll->stop();
            delete clock;
            target->grab().save(file);
            QCoreApplication::exit(0);
        });
        poll->start(100);
    }
    return app.exec();
}
