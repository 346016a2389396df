// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <optional>

class QAction;
class QMainWindow;
class QPainter;
class QRect;
class QToolButton;
class TAboutBox;

// Paints the tray menu's left margin strip inside `rect`: a vertical gradient from red at the top
// to dark red at the bottom in up to 32 bands, and the word "Quoril" in bold white, reading
// upwards from the strip's bottom-left corner. Nothing is painted outside `rect`.
void PopupMenuDrawMargin(QPainter &painter, const QRect &rect);

// The tray menu: a plain QMenu that keeps a strip of MarginWidth pixels free at its left and
// paints it with PopupMenuDrawMargin.
class TTrayMenu : public QMenu
{
    Q_OBJECT
public:
    static constexpr int MarginWidth = 30;

    explicit TTrayMenu(QWidget *parent = nullptr);
    // The strip's rectangle in the menu's own coordinates.
    QRect marginRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The pieces of the main window that hide the program into the notification area: the
// menu-bar button B_Caption, the tray icon Tray1 and its menu PopupMenu. The main window keeps
// ownership of everything; the shell only wires it.
//
// States: Normal (window shown, no icon) and In tray (window hidden, icon shown). Where the
// desktop offers no tray, the button minimises the window instead, so the program never
// becomes unreachable.
class TTrayShell : public QObject
{
    Q_OBJECT
public:
    TTrayShell(QMainWindow *mainWindow, TAboutBox *aboutBox, QObject *parent = nullptr);
    ~TTrayShell() override;

    // Called by "End program" after the main window is shown again. It returns false when the
    // program must go on (unsaved edits whose save failed); unset means "nothing to ask".
    std::function<bool()> confirmExit;
    // Ends the program; by default QCoreApplication::exit(0), which does not pass through the
    // main window's close handling again.
    std::function<void()> quit;

    // Whether the desktop has a tray. Tests force it; by default the desktop is asked at
    // every press of B_Caption and, while in the tray, every few seconds.
    void setTrayAvailable(std::optional<bool> available);
    bool trayAvailable() const;
    // True while the program is hidden in the tray.
    bool isInTray() const;
    // Asked every few seconds while the program is in the tray: when the tray has gone (its
    // host ended), the window comes back minimised, so that it can still be reached.
    void checkTrayHost();

    // Shows the about box modally; ignored while it is already showing.
    void About1Click();

    QToolButton *B_Caption;
    QSystemTrayIcon *Tray1;
    TTrayMenu *PopupMenu;
    QAction *Restore1;
    QAction *N1;
    QAction *AboutQuoril;
    QAction *Exitprogram2;

    void B_CaptionClick();
    void Tray1Click();
    void Tray1DblClick();
    void Restore1Click();
    void AboutQuorilClick();
    void Exitprogram1Click();
    // Gives a menu item its glyph: cell Tag-1 of PopupImg for tags 1..3, none otherwise.
    static void PopupMenuGetItemParams(QAction *item);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void showMainWindow();

    QPointer<QMainWindow> m_main;
    QPointer<TAboutBox> m_about;
    std::optional<bool> m_trayAvailable;
    QByteArray m_geometry;
    Qt::WindowStates m_state;
    QTimer *m_hostCheck;
};
