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
#include <QVBoxLayout>

namespace {
constexpr int EventInterval = 50; // ms between two turns of the event loop
}

TFrmWaitZip::TFrmWaitZip(QWidget *parent) : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("FrmWaitZip"));
    setWindowTitle(QStringLiteral("Processing, please wait..."));

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("Image1"));
    m_icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(32, 32));

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
    layout->addLayout(bottom);

    connect(m_cancel, &QPushButton::clicked, this, &TFrmWaitZip::B_CancelClick);
    // The designed size; the layout widens the window for a longer caption.
    placeWindow(this, QSize(366, 134), PlaceOn::EveryShow);
}

void TFrmWaitZip::start()
{
    m_cancelled = false;
    m_running = true;
    m_name->clear();
    m_progress->setRange(0, 0);
    m_cancel->setEnabled(true);
    m_anim->setRange(0, 0);
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
    hide();
    setWindowModality(Qt::NonModal);
}

bool TFrmWaitZip::progress(const QString &name, int index, int total)
{
    if (!m_cancelled && (!m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= EventInterval)) {
        if (!name.isEmpty()) // without a name the engine is still choosing members
            m_name->setText(fontMetrics().elidedText(pathbytes::display(name), Qt::ElideMiddle,
                                                     m_name->width()));
        if (total > 0 && index < total) {
            m_progress->setRange(0, total);
            m_progress->setValue(index);
        } else {
            m_progress->setRange(0, 0);
        }
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
