// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

// The application object. Its event dispatch is the program's top-level error handler: a file
// error raised while an event is handled is shown in an error box and that event is abandoned;
// the program goes on.
class QuorilApplication : public QApplication
{
public:
    QuorilApplication(int &argc, char **argv);
    // The name and version that --version prints; set before any application object exists.
    static void setIdentity();
    // Gives every window the program's icon, drawn at the sizes window managers ask for.
    static void setProgramIcon();
    bool notify(QObject *receiver, QEvent *event) override;
};

// Shows an error that reached the top level.
void showTopLevelError(const QString &message);
