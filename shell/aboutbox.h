// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QStringList>
#include <QUrl>

class QPushButton;
class QTimer;

// A panel that rolls its lines upwards, one pixel per timer tick, until the last line reaches
// the top edge; then it stops by itself (it does not start over) and emits stopPlay.
class TScrollPanel : public QFrame
{
    Q_OBJECT
public:
    static constexpr int Interval = 50; // milliseconds per pixel

    explicit TScrollPanel(QWidget *parent = nullptr);

    void setLines(const QStringList &lines);
    QStringList lines() const { return m_lines; }
    // The font's height plus its leading: one row of text.
    int lineHeight() const;
    // The scroll position in pixels; 0 shows the first line at the top edge.
    int position() const { return m_position; }
    // The position at which the panel stops: the last line at the top edge.
    int endPosition() const;
    bool isRunning() const { return m_running; }

    // Starts rolling from the first line.
    void start();
    // Stops rolling; emits stopPlay when it was running.
    void stop();
    // One timer step; public so that the rolling can be driven without waiting.
    void tick();

signals:
    void stopPlay();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList m_lines;
    QTimer *m_timer;
    int m_position = 0;
    bool m_running = false;
};

// An underlined blue label that opens its target with the desktop's handler when it is
// clicked, or activated with Return or Space.
class THyperLink : public QLabel
{
    Q_OBJECT
public:
    THyperLink(const QString &text, const QUrl &target, QWidget *parent = nullptr);
    QUrl target() const { return m_target; }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void open();
    QUrl m_target;
};

// The about box: product name, version, credits, the mail link and the rolling history of
// enhancements. Created once and shown modally as often as asked.
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    static const char *const TeamAddress;

    explicit TAboutBox(QWidget *parent = nullptr);

    // The enhancements history, one entry per line, as SP1 shows it.
    static QStringList historyLines();

    QFrame *Panel1;
    QLabel *ProductName;
    QLabel *ProgramIcon;
    QLabel *Version;
    QLabel *Label1;
    QLabel *Label3;
    QFrame *Panel2;
    QLabel *Label2;
    THyperLink *HyperLink1;
    QPushButton *B_history;
    QPushButton *B_Close;
    TScrollPanel *SP1;

    void B_historyClick();
    void B_CloseClick();
    void SP1StopPlay();

    // Every way of closing (Close, Escape) stops the history first.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
};
