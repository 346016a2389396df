// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/waitwindow.h"

#include "common/pathbytes.h"
#include "common/windowplace.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int EventInterval = 50;   // ms between two turns of the event loop
constexpr int ActivationWait = 300; // ms a short job waits for the window manager at most
constexpr int MemberSteps = 1000;   // resolution of the member bar

QString megabytes(quint64 bytes)
{
    return QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1);
}
} // namespace

TFrmWaitZip::TFrmWaitZip(QWidget *parent) : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("FrmWaitZip"));
    setWindowTitle(QStringLiteral("Processing, please wait..."));

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("Image1"));
    // Drawn when first shown: looking the icon up in the theme costs the program's start
    // several milliseconds.
    m_icon->setFixedSize(32, 32);

    // A busy indicator stands for the file-copy animation: moving while it runs.
    m_anim = new QProgressBar(this);
    m_anim->setObjectName(QStringLiteral("Anm1"));
    m_anim->setTextVisible(false);
    m_anim->setRange(0, 1);
    m_anim->setValue(0);

    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("LName"));
    m_name->setTextFormat(Qt::PlainText);
    m_name->setMinimumWidth(1);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);

    // Bytes of the member or file being written, shown while a large one takes its time.
    m_member = new QProgressBar(this);
    m_member->setObjectName(QStringLiteral("MemberBar"));
    m_member->setRange(0, MemberSteps);
    m_member->setValue(0);
    m_member->setMaximumHeight(m_member->fontMetrics().height());
    m_member->setTextVisible(false);

    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("B_Cancel"));

    auto *top = new QHBoxLayout;
    top->addWidget(m_icon);
    top->addWidget(m_anim, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_name);
    layout->addWidget(m_member);
    layout->addLayout(bottom);

    connect(m_cancel, &QPushButton::clicked, this, &TFrmWaitZip::B_CancelClick);
    // The designed size; the layout widens the window for a longer caption.
    placeWindow(this, QSize(366, 134), PlaceOn::EveryShow);
}

void TFrmWaitZip::start(QWidget *owner)
{
    m_cancelled = false;
    m_running = true;
    // The window manager's idea of the active window may lag behind a window just raised;
    // the window that asks for the job is the one to return to.
    m_windowBefore = owner ? owner->window() : QApplication::activeWindow();
    m_focusBefore = owner ? m_windowBefore->focusWidget() : QApplication::focusWidget();
    m_name->clear();
    m_member->setValue(0);
    m_progress->setRange(0, 0);
    m_cancel->setEnabled(true);
    m_anim->setRange(0, 0);
    m_activated = false;
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    processEventsNow();
}

void TFrmWaitZip::stop()
{
    m_running = false;
    m_anim->setRange(0, 1);
    m_anim->setValue(0);
    waitUntilActivated();
    hide();
    setWindowModality(Qt::NonModal);
    restoreFocus();
    // A window manager may hand the focus on only once the unmapping is done, after the call
    // above: ask again when the event loop next turns.
    QMetaObject::invokeMethod(this, &TFrmWaitZip::restoreFocus, Qt::QueuedConnection);
}

void TFrmWaitZip::waitUntilActivated()
{
    // A short job may end before the window manager has made this window active. Hidden
    // first, it would be activated afterwards all the same, and the program would then take
    // the keys typed next for this hidden window. A moment's wait, at most, avoids that.
    QElapsedTimer waited;
    waited.start();
    while (!m_activated && isVisible() && waited.elapsed() < ActivationWait) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(2);
    }
}

bool TFrmWaitZip::event(QEvent *event)
{
    if (event->type() == QEvent::Show && m_icon->pixmap().isNull())
        m_icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(32, 32));
    if (event->type() == QEvent::WindowActivate) {
        m_activated = true;
        // Activated once gone (the window manager came late): hand the keys back.
        if (!m_running)
            QMetaObject::invokeMethod(this, &TFrmWaitZip::restoreFocus, Qt::QueuedConnection);
    }
    return QWidget::event(event);
}

void TFrmWaitZip::restoreFocus()
{
    // Some window managers leave no window active once this one is gone, or activate another
    // one: keys typed next would be lost.
    if (m_running || !m_windowBefore || !m_windowBefore->isVisible())
        return;
    m_windowBefore->raise();
    m_windowBefore->activateWindow();
    if (m_focusBefore && m_focusBefore->isVisible() && m_focusBefore->isEnabled())
        m_focusBefore->setFocus(Qt::ActiveWindowFocusReason);
}

bool TFrmWaitZip::eventsDue() const
{
    return !m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= EventInterval;
}

bool TFrmWaitZip::memberProgress(const QString &name, quint64 done, quint64 size)
{
    if (!m_cancelled && eventsDue()) {
        const QString amount =
            QStringLiteral("  %1 of %2 MB").arg(megabytes(done), megabytes(size));
        const int room = m_name->width() - fontMetrics().horizontalAdvance(amount);
        m_name->setText(
            fontMetrics().elidedText(pathbytes::display(name), Qt::ElideMiddle, std::max(room, 0)) +
            amount);
        m_member->setValue(size ? static_cast<int>(done * MemberSteps / size) : 0);
        processEventsNow();
    }
    return !m_cancelled;
}

bool TFrmWaitZip::progress(const QString &name, int index, int total)
{
    if (!m_cancelled && eventsDue()) {
        if (!name.isEmpty()) // without a name the engine is still choosing members
            m_name->setText(fontMetrics().elidedText(pathbytes::display(name), Qt::ElideMiddle,
                                                     m_name->width()));
        if (total > 0 && index < total) {
            m_progress->setRange(0, total);
            m_progress->setValue(index);
        } else {
            m_progress->setRange(0, 0);
        }
        m_member->setValue(0);
        processEventsNow();
    }
    return !m_cancelled;
}

void TFrmWaitZip::processEventsNow()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceEvents.restart();
}

void TFrmWaitZip::B_CancelClick()
{
    m_cancelled = true;
    m_cancel->setEnabled(false);
    m_name->setText(QStringLiteral("Cancelling..."));
}

void TFrmWaitZip::closeEvent(QCloseEvent *event)
{
    // Closing the window while the engine works means cancelling; the window goes when the
    // engine has stopped.
    if (m_running) {
        B_CancelClick();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TFrmWaitZip::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_running) {
        B_CancelClick();
        return;
    }
    QWidget::keyPressEvent(event);
}
