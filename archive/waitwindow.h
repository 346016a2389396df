// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;

// The wait window shown while the engine works. The engine call runs synchronously on the
// user-interface thread, so the window is kept painted from the engine's progress calls (one
// per member or file, and more while a large one is written): each call updates the name and
// the bars and, at most every 50 ms, lets the event loop run, which is also when a click on
// Cancel arrives. While it is shown, the window is application-modal so that no other window
// can start a second engine call; when it closes, the window and control that had the
// keyboard focus before get it back.
class TFrmWaitZip : public QWidget
{
    Q_OBJECT

public:
    explicit TFrmWaitZip(QWidget *parent = nullptr);

    // Shows the window centred on the screen, starts the animation and paints at once.
    // `owner` is a widget of the window that starts the job: it is active again, with its
    // focus where it was, once the job ends (by default the window active now).
    void start(QWidget *owner = nullptr);
    // Stops the animation and hides the window.
    void stop();
    // One step of the work: `name` is the member or file reached, `index` counts from 0 and
    // `total` is the number expected (-1 when unknown). Returns false once the user cancelled.
    bool progress(const QString &name, int index, int total);
    // Inside a large member or file: `done` of its `size` bytes are written. Returns false
    // once the user cancelled.
    bool memberProgress(const QString &name, quint64 done, quint64 size);
    bool cancelled() const { return m_cancelled; }
    bool isRunning() const { return m_running; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;

private:
    void B_CancelClick();
    void restoreFocus();
    void waitUntilActivated();
    void processEventsNow();
    bool eventsDue() const;

    QProgressBar *m_anim;
    QLabel *m_icon;
    QLabel *m_name;
    QProgressBar *m_progress;
    QProgressBar *m_member;
    QPushButton *m_cancel;
    QPointer<QWidget> m_focusBefore;
    QPointer<QWidget> m_windowBefore;
    QElapsedTimer m_sinceEvents;
    bool m_cancelled = false;
    bool m_running = false;
    bool m_activated = false; // the window system has made the shown window active
};
