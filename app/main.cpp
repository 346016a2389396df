#include "app/mainwindow.h"
#include "app/quorilapplication.h"
#include "common/prompter.h"

int main(int argc, char *argv[])
{
    QuorilApplication app(argc, argv);
    // The engine check comes first; without a usable engine the program ends.
    const QString failure = TMain::EngineCheck();
    if (!failure.isEmpty()) {
        showMessage(failure, Prompter::Icon::Critical);
        return 1;
    }
    TMain window;
    window.CreateSecondaryWindows();
    window.show();
    return app.exec();
}
