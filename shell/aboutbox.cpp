// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/aboutbox.h"

#include "shell/glyphs.h"

#include "common/windowplace.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString ComicFamily = QStringLiteral("Comic Neue");

QFont comicFont(int pixelSize, bool bold)
{
    QFont font(ComicFamily);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QPushButton *flatButton(const QString &text, QSize least, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setMinimumSize(least);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, Qt::red);
    button->setPalette(palette);
    return button;
}

} // namespace

// ---- TScrollPanel ----------------------------------------------------------------------

TScrollPanel::TScrollPanel(QWidget *parent) : QFrame(parent), m_timer(new QTimer(this))
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    m_timer->setInterval(Interval);
    connect(m_timer, &QTimer::timeout, this, &TScrollPanel::tick);
}

void TScrollPanel::setLines(const QStringList &lines)
{
    m_lines = lines;
    update();
}

int TScrollPanel::lineHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int TScrollPanel::endPosition() const
{
    return std::max(0, int(m_lines.size()) - 1) * lineHeight();
}

void TScrollPanel::start()
{
    m_position = 0;
    m_running = true;
    m_timer->start();
    update();
}

void TScrollPanel::stop()
{
    m_timer->stop();
    if (!m_running)
        return;
    m_running = false;
    emit stopPlay();
}

void TScrollPanel::tick()
{
    if (!m_running)
        return;
    if (endPosition() > m_position) {
        ++m_position;
        update();
    } else {
        stop();
    }
}

void TScrollPanel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.setPen(palette().color(QPalette::WindowText));
    const int row = lineHeight();
    int y = area.top() - m_position % row;
    for (qsizetype index = m_position / row; index < m_lines.size() && y < area.bottom();
         ++index, y += row) {
        painter.drawText(QRect(area.left(), y, area.width(), row), Qt::AlignCenter,
                         m_lines.at(index));
    }
}

// ---- THyperLink ------------------------------------------------------------------------

THyperLink::THyperLink(const QString &text, const QUrl &target, QWidget *parent)
    : QLabel(text, parent), m_target(target)
{
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    setPalette(palette);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(target.toString());
}

void THyperLink::open()
{
    QDesktopServices::openUrl(m_target);
}

void THyperLink::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        open();
    QLabel::mouseReleaseEvent(event);
}

void THyperLink::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        open();
        return;
    }
    QLabel::keyPressEvent(event);
}

// ---- TAboutBox -------------------------------------------------------------------------

const char *const TAboutBox::TeamAddress = "quoril-team@users.noreply.example";

QStringList TAboutBox::historyLines()
{
    return {
        QStringLiteral("Quoril 2000"),
        QStringLiteral("Enhancements history"),
        QString(),
        QStringLiteral("Version 2.5"),
        QStringLiteral("Language files: every caption can be translated"),
        QStringLiteral("(*.QLG in the start folder, chosen with Change language...)"),
        QStringLiteral("Custom description names, with <filename>"),
        QStringLiteral("for the archive's own name"),
        QStringLiteral("Minimize to tray, with a menu to restore or end"),
        QStringLiteral("Asks before ending with unsaved edits, also from the tray"),
        QString(),
        QStringLiteral("Descriptions"),
        QStringLiteral("Auto select tries file_id.diz, readme.txt,"),
        QStringLiteral("<filename>.txt and then the custom names"),
        QStringLiteral("DOS text is shown and saved byte for byte"),
        QStringLiteral("Save info writes the edited text back into the archive"),
        QString(),
        QStringLiteral("Archives"),
        QStringLiteral("Extract... lists the members and extracts all or some"),
        QStringLiteral("Easy zip packer: drag files onto a list and pack them"),
        QStringLiteral("Zip engine options for the packer"),
        QStringLiteral("One engine library, libquorilzip, over libzip"),
        QString(),
        QStringLiteral("MP3 files"),
        QStringLiteral("ID3v1 tags shown and edited in place,"),
        QStringLiteral("with the full genre list"),
        QString(),
        QStringLiteral("quoril-cli: the same work from a terminal"),
        QString(),
        QStringLiteral("Free software under the GNU General Public License,"),
        QStringLiteral("version 3 or (at your option) any later version;"),
        QStringLiteral("it comes with no warranty"),
        QString(),
        QStringLiteral("Thank you for using Quoril!"),
    };
}

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About..."));
    setModal(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setMinimumSize(411, 192);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);

    ProductName = new QLabel(QStringLiteral("Quoril 2000"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setAlignment(Qt::AlignCenter);
    ProductName->setFont(comicFont(48, true));
    QPalette red = ProductName->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    ProductName->setPalette(red);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setFixedSize(32, 32);
    ProgramIcon->setPixmap(glyphs::programPixmap(32));

    Version = new QLabel(QStringLiteral("Version 2.5,  Oct 2001"), Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setFont(comicFont(13, false));

    Label1 = new QLabel(QStringLiteral("Aknowledgements (for ZIP engine):"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));

    const QString address = QString::fromLatin1(TeamAddress);
    Label3 = new QLabel(QStringLiteral("The Quoril team <%1>").arg(address), Panel1);
    Label3->setTextFormat(Qt::PlainText);
    Label3->setToolTip(QStringLiteral("The engine library libquorilzip, built on libzip"));
    Label3->setObjectName(QStringLiteral("Label3"));

    Panel2 = new QFrame(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    Label2 = new QLabel(QStringLiteral("Any question or contributes are welcome to:"), Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));

    HyperLink1 = new THyperLink(address, QUrl(QStringLiteral("mailto:") + address), Panel2);
    HyperLink1->setObjectName(QStringLiteral("HyperLink1"));

    B_history = flatButton(QStringLiteral("Enhancements history..."), QSize(175, 32), this);
    B_history->setObjectName(QStringLiteral("B_history"));
    B_Close = flatButton(QStringLiteral("Close"), QSize(145, 32), this);
    B_Close->setObjectName(QStringLiteral("B_Close"));
    B_Close->setDefault(true);

    SP1 = new TScrollPanel(Panel1);
    SP1->setObjectName(QStringLiteral("SP1"));
    QFont small = SP1->font();
    small.setPixelSize(11);
    SP1->setFont(small);
    QPalette navy = SP1->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    SP1->setPalette(navy);
    SP1->setLines(historyLines());
    SP1->hide();

    // The designed places, as layouts: the box grows when a font draws its texts wider.
    auto *iconRow = new QHBoxLayout;
    iconRow->addSpacing(81);
    iconRow->addWidget(ProgramIcon);
    iconRow->addSpacing(13);
    iconRow->addWidget(Version, 1);
    auto *mail = new QVBoxLayout(Panel2);
    mail->setContentsMargins(6, 2, 6, 2);
    mail->setSpacing(0);
    mail->addWidget(Label2);
    mail->addWidget(HyperLink1);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(ProductName);
    texts->addLayout(iconRow);
    texts->addSpacing(6);
    texts->addWidget(Label1);
    texts->addWidget(Label3);
    texts->addSpacing(4);
    texts->addWidget(Panel2);
    // The history panel lies over the texts, inside the bevel.
    auto *panel = new QGridLayout(Panel1);
    panel->setContentsMargins(3, 4, 3, 4);
    panel->addLayout(texts, 0, 0);
    panel->addWidget(SP1, 0, 0);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(3, 0, 1, 0);
    buttons->addWidget(B_history);
    buttons->addStretch(1);
    buttons->addWidget(B_Close);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 6);
    layout->setSpacing(8);
    layout->addWidget(Panel1, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(B_history, &QPushButton::clicked, this, &TAboutBox::B_historyClick);
    connect(B_Close, &QPushButton::clicked, this, &TAboutBox::B_CloseClick);
    connect(SP1, &TScrollPanel::stopPlay, this, &TAboutBox::SP1StopPlay);
}

void TAboutBox::B_historyClick()
{
    const bool wasRunning = SP1->isRunning();
    SP1->setVisible(SP1->isHidden());
    if (wasRunning)
        SP1->stop();
    else
        SP1->start();
}

void TAboutBox::SP1StopPlay()
{
    SP1->hide();
}

void TAboutBox::B_CloseClick()
{
    accept();
}

void TAboutBox::done(int result)
{
    SP1->stop();
    SP1->hide();
    QDialog::done(result);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    centreWindow(this);
}
