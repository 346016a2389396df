#include "common/messageboxprompter.h"

#include <QApplication>
#include <QMessageBox>

bool MessageBoxPrompter::askYesNo(const QString &text)
{
    return QMessageBox::question(m_parent, QString::fromLatin1(ApplicationTitle), text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxPrompter::message(const QString &text, Icon icon, const QString &caption)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(caption.isEmpty() ? QString::fromLatin1(ApplicationTitle) : caption);
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
