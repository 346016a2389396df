#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;

// The wait window shown while the engine works. The engine call runs synchronously on the
// user-interface thread, so the window is kept painted from the engine's progress calls: each
// call updates the current name and, at most every 50 ms, lets the event loop run, which is
// also when a click on Cancel arrives. While it is shown, the window is application-modal so
// that no other window can start a second engine call.
class TFrmWaitZip : public QWidget
{
    Q_OBJECT

public:
    explicit TFrmWaitZip(QWidget *parent = nullptr);

    // Shows the window centred on the screen, starts the animation and paints at once.
    void start();
    // Stops the animation and hides the window.
    void stop();
    // One step of the work: `name` is the member or file reached, `index` counts from 0 and
    // `total` is the number expected (-1 when unknown). Returns false once the user cancelled.
    bool progress(const QString &name, int index, int total);
    bool cancelled() const { return m_cancelled; }
    bool isRunning() const { return m_running; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void B_CancelClick();
    void processEventsNow();

    QProgressBar *m_anim;
    QLabel *m_icon;
    QLabel *m_name;
    QProgressBar *m_progress;
    QPushButton *m_cancel;
    QElapsedTimer m_sinceEvents;
    bool m_cancelled = false;
    bool m_running = false;
};
