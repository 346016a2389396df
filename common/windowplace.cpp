// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/windowplace.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMargins>
#include <QScreen>
#include <QWidget>

namespace {

// A window manager's title bar and borders, for a window whose frame is not known yet.
const QMargins FrameAllowance(6, 32, 6, 6);

QMargins frameMargins(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins known(inner.left() - frame.left(), inner.top() - frame.top(),
                         frame.right() - inner.right(), frame.bottom() - inner.bottom());
    return known.isNull() ? FrameAllowance : known;
}

QRect freeArea(const QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void place(QWidget *window, QSize designed)
{
    if (QLayout *layout = window->layout())
        layout->activate();
    QSize size = designed.expandedTo(window->minimumSizeHint()).expandedTo(window->minimumSize());
    const QRect area = freeArea(window);
    if (!area.isEmpty()) {
        const QMargins frame = frameMargins(window);
        size = size.boundedTo(area.size().shrunkBy(frame));
    }
    window->resize(size.boundedTo(window->maximumSize()));
    centreWindow(window);
}

// Places its window again when it is shown: the first time, or every time.
class Placer : public QObject
{
public:
    Placer(QWidget *window, QSize designed, PlaceOn when)
        : QObject(window), m_window(window), m_designed(designed), m_when(when)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A spontaneous show is the window system restoring the window: it stays as it was.
        if (watched == m_window && event->type() == QEvent::Show && !event->spontaneous()) {
            place(m_window, m_designed);
            if (m_when == PlaceOn::FirstShow)
                deleteLater();
        }
        return false;
    }

private:
    QWidget *m_window;
    QSize m_designed;
    PlaceOn m_when;
};

} // namespace

void placeWindow(QWidget *window, QSize designed, PlaceOn when)
{
    place(window, designed);
    new Placer(window, designed, when);
}

void centreWindow(QWidget *window)
{
    const QRect area = freeArea(window);
    if (area.isEmpty())
        return;
    const QMargins frame = frameMargins(window);
    QRect outer = QRect(QPoint(), window->size()).marginsAdded(frame);
    outer.moveCenter(area.center());
    // A window taller or wider than the area keeps its title bar on screen.
    outer.moveTop(std::max(outer.top(), area.top()));
    outer.moveLeft(std::max(outer.left(), area.left()));
    // move() places the frame's top-left corner.
    window->move(outer.topLeft());
}

void keepOnScreen(QWidget *window)
{
    const QRect area = freeArea(window);
    if (area.isEmpty())
        return;
    QRect outer = QRect(window->pos(), window->size().grownBy(frameMargins(window)));
    outer.moveRight(std::min(outer.right(), area.right()));
    outer.moveBottom(std::min(outer.bottom(), area.bottom()));
    outer.moveTop(std::max(outer.top(), area.top()));
    outer.moveLeft(std::max(outer.left(), area.left()));
    if (outer.topLeft() != window->pos())
        window->move(outer.topLeft());
}
