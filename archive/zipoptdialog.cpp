// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/zipoptdialog.h"

#include "common/prompter.h"
#include "common/windowplace.h"
#include "zipengine/zipengine.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QColor CommonColour(0, 0, 255);

void paintBlue(QWidget *widget, QPalette::ColorRole role)
{
    QPalette palette = widget->palette();
    palette.setColor(role, CommonColour);
    widget->setPalette(palette);
}

} // namespace

TUpDown::TUpDown(QLineEdit *buddy, int minimum, int maximum, QWidget *parent)
    : QWidget(parent), m_buddy(buddy), m_minimum(minimum), m_maximum(maximum), m_position(minimum)
{
    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("UpDown1Up"));
    m_up->setArrowType(Qt::UpArrow);
    m_up->setAutoRepeat(true);
    m_down = new QToolButton(this);
    m_down->setObjectName(QStringLiteral("UpDown1Down"));
    m_down->setArrowType(Qt::DownArrow);
    m_down->setAutoRepeat(true);
    for (QToolButton *button : {m_up, m_down}) {
        button->setFixedSize(16, 11);
        button->setFocusPolicy(Qt::NoFocus);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, &TUpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &TUpDown::stepDown);
    connect(m_buddy, &QLineEdit::textEdited, this, &TUpDown::buddyEdited);
}

void TUpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_minimum, m_maximum);
}

void TUpDown::buddyEdited(const QString &text)
{
    bool number = false;
    const int value = text.trimmed().toInt(&number);
    if (number && value >= m_minimum && value <= m_maximum)
        m_position = value;
}

void TUpDown::step(int delta)
{
    // The box may hold anything; a number in range is the starting point, else the last
    // position. No wrap-around at either end.
    buddyEdited(m_buddy->text());
    setPosition(m_position + delta);
    m_buddy->setText(QString::number(m_position));
}

TFrmZipOpt::TFrmZipOpt(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmZipOpt"));
    setWindowTitle(QStringLiteral("Zip engine options"));
    setModal(false);

    m_group = new QGroupBox(QStringLiteral(" (in blue most commons) "), this);
    m_group->setObjectName(QStringLiteral("GroupBox2"));
    m_system = addCheck("chSystem", QStringLiteral("Include system and hidden files"), false);
    m_volume = addCheck("chVolume", QStringLiteral("Include volume label"), false);
    m_junkDir = addCheck("chJunkDir", QStringLiteral("Do not add path"), true);
    m_recurseDir = addCheck("chRecurseDir", QStringLiteral("Recurse file in subdirectory"), true);
    m_latestTime =
        addCheck("chLatestTime", QStringLiteral("Set zip file time as latest file in it"), false);
    m_grow = addCheck("chGrow", QStringLiteral("Allow appending to an existing zip file"), true);
    m_move = addCheck("chMove", QStringLiteral("Delete files added or updated in zip file"), false);
    m_deleteEntries =
        addCheck("chDeleteEntries", QStringLiteral("Delete files from zip file"), false);
    m_update =
        addCheck("chUpdate", QStringLiteral("Update zip file--overwrite only if newer"), true);
    m_freshen = addCheck("chFreshen", QStringLiteral("Freshen zip file--overwrite only"), false);
    m_junkDir->setChecked(true);

    m_levelLabel = new QLabel(QStringLiteral("Compression level (0 - 9)"), m_group);
    m_levelLabel->setObjectName(QStringLiteral("Label2"));
    paintBlue(m_levelLabel, QPalette::WindowText);
    m_level = new QLineEdit(QStringLiteral("6"), m_group);
    m_level->setObjectName(QStringLiteral("edtLevel"));
    m_level->setFixedWidth(32);
    QFont bold = m_level->font();
    bold.setBold(true);
    m_level->setFont(bold);
    paintBlue(m_level, QPalette::Text);
    m_levelLabel->setBuddy(m_level);
    m_upDown = new TUpDown(m_level, 0, 9, m_group);
    m_upDown->setObjectName(QStringLiteral("UpDown1"));
    m_upDown->setPosition(6);

    auto *grid = new QGridLayout(m_group);
    const QList<QCheckBox *> left{m_system, m_volume, m_junkDir, m_recurseDir, m_latestTime};
    const QList<QCheckBox *> right{m_grow, m_move, m_deleteEntries, m_update, m_freshen};
    for (int row = 0; row < left.size(); ++row) {
        grid->addWidget(left[row], row, 0);
        grid->addWidget(right[row], row, 1);
    }
    auto *level = new QHBoxLayout;
    level->addWidget(m_levelLabel);
    level->addWidget(m_level);
    level->addWidget(m_upDown);
    level->addStretch(1);
    grid->addLayout(level, left.size(), 0, 1, 2);

    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    m_default = new QPushButton(QStringLiteral("Reset to default"), panel);
    m_default->setObjectName(QStringLiteral("B_ZipDefault"));
    m_save = new QPushButton(QStringLiteral("Save options and close"), panel);
    m_save->setObjectName(QStringLiteral("B_SetZipOpt"));
    m_save->setDefault(true);
    m_close = new QPushButton(QStringLiteral("Close without saving"), panel);
    m_close->setObjectName(QStringLiteral("B_Close"));
    auto *buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(m_default);
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_group, 1);
    layout->addWidget(panel);

    connect(m_default, &QPushButton::clicked, this, &TFrmZipOpt::B_ZipDefaultClick);
    connect(m_save, &QPushButton::clicked, this, &TFrmZipOpt::B_SetZipOptClick);
    connect(m_close, &QPushButton::clicked, this, &TFrmZipOpt::B_closeClick);

    // The designed size, grown by the layout when a language's captions need more room.
    placeWindow(this, QSize(505, 251), PlaceOn::EveryShow);
}

QCheckBox *TFrmZipOpt::addCheck(const char *name, const QString &caption, bool common)
{
    auto *box = new QCheckBox(caption, m_group);
    box->setObjectName(QLatin1String(name));
    if (common)
        paintBlue(box, QPalette::WindowText);
    return box;
}

ArchiveOps::ZipOptionsState TFrmZipOpt::state() const
{
    ArchiveOps::ZipOptionsState s;
    s.system = m_system->isChecked();
    s.volume = m_volume->isChecked();
    s.junkDir = m_junkDir->isChecked();
    s.recurseDir = m_recurseDir->isChecked();
    s.latestTime = m_latestTime->isChecked();
    s.grow = m_grow->isChecked();
    s.move = m_move->isChecked();
    s.deleteEntries = m_deleteEntries->isChecked();
    s.update = m_update->isChecked();
    s.freshen = m_freshen->isChecked();
    s.level = m_level->text();
    return s;
}

void TFrmZipOpt::setState(const ArchiveOps::ZipOptionsState &s)
{
    m_system->setChecked(s.system);
    m_volume->setChecked(s.volume);
    m_junkDir->setChecked(s.junkDir);
    m_recurseDir->setChecked(s.recurseDir);
    m_latestTime->setChecked(s.latestTime);
    m_grow->setChecked(s.grow);
    m_move->setChecked(s.move);
    m_deleteEntries->setChecked(s.deleteEntries);
    m_update->setChecked(s.update);
    m_freshen->setChecked(s.freshen);
    m_level->setText(s.level);
    bool number = false;
    const int value = s.level.toInt(&number);
    if (number)
        m_upDown->setPosition(value);
}

QString TFrmZipOpt::levelText() const
{
    return m_level->text();
}

void TFrmZipOpt::Get_ZipDllOptions()
{
    setState(ArchiveOps::dialogStateFromOptions(ZipEngine::ZpGetOptions()));
}

bool TFrmZipOpt::Set_ZipDllOptions()
{
    if (ArchiveOps::setZipOptions(ArchiveOps::optionsFromDialogState(state())))
        return true;
    showMessage(QStringLiteral("Error setting Zip Options"), Prompter::Icon::Critical);
    return false;
}

void TFrmZipOpt::B_SetZipOptClick()
{
    Set_ZipDllOptions();
    hide();
}

void TFrmZipOpt::B_closeClick()
{
    hide();
}

void TFrmZipOpt::B_ZipDefaultClick()
{
    if (!ArchiveOps::setZipOptions(ArchiveOps::defaultZipOptions()))
        showMessage(QStringLiteral("Error setting Zip Options"), Prompter::Icon::Critical);
    QCoreApplication::processEvents();
    Get_ZipDllOptions();
}
