// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/messageboxprompter.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include <memory>

namespace {

// Room a window manager takes from a title bar beside the title: the window's icon and its
// buttons.
constexpr int TitleBarButtons = 140;

// A box as narrow as a short text would cut its own title off in the title bar: it is made
// wide enough for the title, measured in a bold face as many window managers draw it.
void keepTitleReadable(QMessageBox &box)
{
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width =
        QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + TitleBarButtons;
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

QMessageBox *makeBox(const QString &text, QMessageBox::Icon icon, const QString &caption,
                     QMessageBox::StandardButtons buttons, QWidget *parent)
{
    auto *box = new QMessageBox(parent);
    box->setWindowTitle(caption.isEmpty() ? QString::fromLatin1(ApplicationTitle) : caption);
    box->setText(text);
    box->setIcon(icon);
    box->setStandardButtons(buttons);
    keepTitleReadable(*box);
    return box;
}

} // namespace

QMessageBox *MessageBoxPrompter::questionBox(const QString &text, QWidget *parent)
{
    QMessageBox *box =
        makeBox(text, QMessageBox::Question, QString(), QMessageBox::Yes | QMessageBox::No, parent);
    box->setDefaultButton(QMessageBox::Yes);
    return box;
}

QMessageBox *MessageBoxPrompter::messageBox(const QString &text, Icon icon, const QString &caption,
                                            QWidget *parent)
{
    return makeBox(text, icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::Information,
                   caption, QMessageBox::Ok, parent);
}

bool MessageBoxPrompter::askYesNo(const QString &text)
{
    std::unique_ptr<QMessageBox> box(questionBox(text, m_parent));
    return box->exec() == QMessageBox::Yes;
}

void MessageBoxPrompter::message(const QString &text, Icon icon, const QString &caption)
{
    std::unique_ptr<QMessageBox> box(messageBox(text, icon, caption, m_parent));
    box->exec();
}
