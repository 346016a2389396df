#include "zipengine/zipengine.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Quoril 2000"));
    const QString failure = ZipEngine::load();
    if (!failure.isEmpty()) {
        QMessageBox::critical(nullptr, QStringLiteral("Quoril 2000"), failure);
        return 1;
    }
    return 0;
}
