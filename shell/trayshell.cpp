// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/trayshell.h"

#include "shell/aboutbox.h"
#include "shell/glyphs.h"

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>

#include <algorithm>

namespace {

const QColor TopColour(255, 0, 0);
const QColor BottomColour(255 / 4, 0, 0);
constexpr int MaxBands = 32;

} // namespace

void PopupMenuDrawMargin(QPainter &painter, const QRect &rect)
{
    if (rect.isEmpty())
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);

    const int height = rect.height();
    const int bands = std::clamp(height, 1, MaxBands);
    for (int band = 0; band < bands; ++band) {
        const int y0 = rect.top() + band * height / bands;
        const int y1 = rect.top() + (band + 1) * height / bands;
        const int step = bands > 1 ? band * 255 / (bands - 1) : 0;
        const auto mix = [step](int from, int to) { return from + (to - from) * step / 255; };
        const QColor colour(mix(TopColour.red(), BottomColour.red()),
                            mix(TopColour.green(), BottomColour.green()),
                            mix(TopColour.blue(), BottomColour.blue()));
        painter.fillRect(QRect(rect.left(), y0, rect.width(), y1 - y0), colour);
    }

    // "Comic Neue" stands in for the classic comic face; QFont falls back to the default
    // family where it is not installed.
    QFont font(QStringLiteral("Comic Neue"));
    font.setBold(true);
    font.setPointSize(12);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.setBackgroundMode(Qt::TransparentMode);
    // Turned by 90 degrees, the text's top edge lies on x = left and the word runs upwards
    // from y = bottom - 5.
    painter.translate(rect.left(), rect.bottom() - 5);
    painter.rotate(-90);
    painter.drawText(QPoint(0, painter.fontMetrics().ascent()), QStringLiteral("Quoril"));
    painter.restore();
}

TTrayMenu::TTrayMenu(QWidget *parent) : QMenu(parent)
{
    setObjectName(QStringLiteral("PopupMenu"));
    setContentsMargins(MarginWidth, 0, 0, 0);
}

QRect TTrayMenu::marginRect() const
{
    QStyleOption option;
    option.initFrom(this);
    const int frame = style()->pixelMetric(QStyle::PM_MenuPanelWidth, &option, this);
    return QRect(frame, frame, MarginWidth, height() - 2 * frame);
}

void TTrayMenu::paintEvent(QPaintEvent *event)
{
    QMenu::paintEvent(event);
    QPainter painter(this);
    PopupMenuDrawMargin(painter, marginRect());
}

TTrayShell::TTrayShell(QMainWindow *mainWindow, TAboutBox *aboutBox, QObject *parent)
    : QObject(parent), m_main(mainWindow), m_about(aboutBox)
{
    quit = [] { QCoreApplication::exit(0); };

    B_Caption = new QToolButton(mainWindow);
    B_Caption->setObjectName(QStringLiteral("B_Caption"));
    B_Caption->setAutoRaise(true);
    B_Caption->setIcon(glyphs::captionGlyph());
    B_Caption->setIconSize(QSize(16, 16));
    B_Caption->setToolTip(QStringLiteral("Minimize to tray"));
    B_Caption->setFocusPolicy(Qt::NoFocus);
    mainWindow->menuBar()->setCornerWidget(B_Caption, Qt::TopRightCorner);
    connect(B_Caption, &QToolButton::clicked, this, &TTrayShell::B_CaptionClick);

    PopupMenu = new TTrayMenu(mainWindow);
    Restore1 = PopupMenu->addAction(QStringLiteral("Restore"));
    Restore1->setObjectName(QStringLiteral("Restore1"));
    Restore1->setData(1);
    N1 = PopupMenu->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    N1->setData(0);
    AboutQuoril = PopupMenu->addAction(QStringLiteral("About Quoril..."));
    AboutQuoril->setObjectName(QStringLiteral("AboutQuoril"));
    AboutQuoril->setData(2);
    Exitprogram2 = PopupMenu->addAction(QStringLiteral("End program"));
    Exitprogram2->setObjectName(QStringLiteral("Exitprogram2"));
    Exitprogram2->setData(3);
    for (QAction *item : PopupMenu->actions())
        PopupMenuGetItemParams(item);
    connect(Restore1, &QAction::triggered, this, &TTrayShell::Restore1Click);
    connect(AboutQuoril, &QAction::triggered, this, &TTrayShell::AboutQuorilClick);
    connect(Exitprogram2, &QAction::triggered, this, &TTrayShell::Exitprogram1Click);

    Tray1 = new QSystemTrayIcon(glyphs::programIcon(), this);
    Tray1->setObjectName(QStringLiteral("Tray1"));
    Tray1->setToolTip(QStringLiteral("Quoril 2000"));
    Tray1->setContextMenu(PopupMenu);
    connect(Tray1, &QSystemTrayIcon::activated, this, &TTrayShell::onActivated);

    m_hostCheck = new QTimer(this);
    m_hostCheck->setInterval(2000);
    connect(m_hostCheck, &QTimer::timeout, this, &TTrayShell::checkTrayHost);
}

TTrayShell::~TTrayShell()
{
    // The icon leaves the tray with the shell, also when the program ends from the tray.
    Tray1->hide();
}

void TTrayShell::setTrayAvailable(std::optional<bool> available)
{
    m_trayAvailable = available;
}

bool TTrayShell::trayAvailable() const
{
    return m_trayAvailable ? *m_trayAvailable : QSystemTrayIcon::isSystemTrayAvailable();
}

bool TTrayShell::isInTray() const
{
    return Tray1->isVisible();
}

void TTrayShell::PopupMenuGetItemParams(QAction *item)
{
    const int tag = item->data().toInt();
    if (tag >= 1 && tag <= 3)
        item->setIcon(glyphs::popupImageCell(tag - 1));
    else
        item->setIcon(QIcon());
}

void TTrayShell::B_CaptionClick()
{
    if (!m_main || isInTray())
        return;
    if (!trayAvailable()) {
        m_main->showMinimized();
        return;
    }
    // Kept to bring the window back exactly as it was, whatever the window manager does
    // with a window that was withdrawn.
    m_geometry = m_main->saveGeometry();
    m_state = m_main->windowState() & ~Qt::WindowMinimized;
    Tray1->show();
    m_main->hide();
    m_hostCheck->start();
}

void TTrayShell::checkTrayHost()
{
    if (!isInTray() || trayAvailable())
        return;
    m_hostCheck->stop();
    Tray1->hide();
    if (m_main && m_main->isHidden()) {
        if (!m_geometry.isEmpty())
            m_main->restoreGeometry(m_geometry);
        m_main->setWindowState(m_state | Qt::WindowMinimized);
        m_main->show();
    }
}

void TTrayShell::showMainWindow()
{
    if (!m_main)
        return;
    m_hostCheck->stop();
    Tray1->hide();
    if (!m_main->isHidden()) {
        if (m_main->isMinimized())
            m_main->setWindowState(m_main->windowState() & ~Qt::WindowMinimized);
        m_main->show();
        return;
    }
    // A maximised window keeps its state and takes the screen; a normal one gets back its
    // place and size. A window minimised before it went into the tray (when no tray was there
    // yet) comes back shown, not minimised again.
    m_main->setWindowState(m_main->windowState() & ~Qt::WindowMinimized);
    if (m_state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        m_main->setWindowState(m_state);
    else if (!m_geometry.isEmpty())
        m_main->restoreGeometry(m_geometry);
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}

void TTrayShell::Tray1Click()
{
    showMainWindow();
}

void TTrayShell::Tray1DblClick()
{
    // The first click of a double click has usually restored the window already; a double
    // click is also the way back from a minimised window.
    showMainWindow();
    if (m_main) {
        m_main->raise();
        m_main->activateWindow();
    }
}

void TTrayShell::Restore1Click()
{
    if (m_about && m_about->isVisible())
        return;
    showMainWindow();
}

void TTrayShell::AboutQuorilClick()
{
    About1Click();
}

void TTrayShell::About1Click()
{
    if (!m_about || m_about->isVisible())
        return;
    // Modal to the main window only: an application-modal box would also swallow the clicks
    // on the tray icon (a window of its own on some desktops), and a left click on the icon
    // must bring the window back while the box opened from the tray is showing.
    m_about->setWindowModality(Qt::WindowModal);
    m_about->exec();
}

void TTrayShell::Exitprogram1Click()
{
    showMainWindow();
    if (confirmExit && !confirmExit())
        return;
    if (quit)
        quit();
}

void TTrayShell::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        Tray1Click();
        break;
    case QSystemTrayIcon::DoubleClick:
        Tray1DblClick();
        break;
    case QSystemTrayIcon::Context:
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        // The context menu opens by itself; the other buttons are not used.
        break;
    }
}
