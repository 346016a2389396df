// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/customdialog.h"

#include "common/fileerror.h"
#include "common/prompter.h"
#include "common/windowplace.h"
#include "description/membername.h"
#include "settings/customlist.h"
#include "settings/language.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString builtIn(const char *section, const char *key)
{
    const auto keys = languageKeys();
    const auto it = std::find_if(keys.begin(), keys.end(), [&](const LanguageKey &row) {
        return qstrcmp(row.section, section) == 0 && qstrcmp(row.key, key) == 0;
    });
    return it == keys.end() ? QString() : QString::fromUtf8(it->builtIn);
}

QPushButton *makeButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QLabel *makeLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText); // "<filename>" is not a tag
    label->setText(text);
    return label;
}

} // namespace

TCustom_ext::TCustom_ext(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Custom_ext"));
    setWindowTitle(builtIn("Custom files", "Title"));
    setModal(false);

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("T_cFile"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("L_cFile"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSortingEnabled(false);

    m_add = makeButton(QStringLiteral("B_Add"), builtIn("Custom files", "Butt_add"), this);
    m_remove = makeButton(QStringLiteral("B_Remove"), builtIn("Custom files", "Butt_rem"), this);
    m_ok = makeButton(QStringLiteral("B_OK"), builtIn("Custom files", "Butt_close"), this);
    m_save = makeButton(QStringLiteral("B_saveprefs"), builtIn("Custom files", "Butt_save"), this);
    m_label1 = makeLabel(QStringLiteral("Label1"), builtIn("Custom files", "BoxRight"), this);
    m_label2 = makeLabel(QStringLiteral("Label2"), builtIn("Custom files", "LabelUp"), this);
    m_label3 = makeLabel(QStringLiteral("Label3"), builtIn("Custom files", "LabelBott"), this);
    m_label1->setBuddy(m_list);
    // A one-line text from a language file wraps instead of widening the window.
    m_label2->setWordWrap(true);
    m_label3->setWordWrap(true);
    m_edit->setMinimumWidth(200);
    m_list->setMinimumWidth(200);

    auto *middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(m_add);
    middle->addWidget(m_remove);
    middle->addStretch();

    auto *grid = new QGridLayout;
    grid->addWidget(m_label2, 0, 0, 1, 3);
    grid->addWidget(m_label1, 1, 2);
    grid->addWidget(m_edit, 2, 0, Qt::AlignTop);
    grid->addLayout(middle, 2, 1);
    grid->addWidget(m_list, 2, 2);
    grid->addWidget(m_label3, 3, 0, 1, 3);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_ok);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(m_add, &QPushButton::clicked, this, &TCustom_ext::B_AddClick);
    connect(m_edit, &QLineEdit::returnPressed, this, &TCustom_ext::B_AddClick);
    connect(m_remove, &QPushButton::clicked, this, &TCustom_ext::B_RemoveClick);
    connect(m_ok, &QPushButton::clicked, this, &TCustom_ext::B_OKClick);
    connect(m_save, &QPushButton::clicked, this, &TCustom_ext::B_saveprefsClick);
}

QStringList TCustom_ext::entries() const
{
    QStringList list;
    for (int i = 0; i < m_list->count(); ++i)
        list.append(m_list->item(i)->text());
    return list;
}

void TCustom_ext::FormCreate(const std::function<void()> &pgmInit)
{
    if (pgmInit)
        pgmInit();
    QStringList list;
    try {
        CustomList::appendFrom(CustomList::currentPath(), list);
    } catch (...) {
        m_list->addItems(list);
        throw;
    }
    m_list->addItems(list);
    emit listApplied();
    emit enableCustom(m_list->count() > 0);
}

void TCustom_ext::WriteCustoms()
{
    CustomList::write(CustomList::currentPath(), entries());
}

void TCustom_ext::showDialog()
{
    if (!isVisible()) {
        adjustSize();
        centreWindow(this);
    }
    show();
    raise();
    activateWindow();
}

void TCustom_ext::B_AddClick()
{
    const QString text = m_edit->text();
    // A description is stored at the top of an archive: a name with a folder could never be
    // saved. The text stays in the box to be corrected.
    if (const QString problem = text.isEmpty() ? QString() : descriptionNameProblem(text);
        !problem.isEmpty()) {
        showMessage(problem, Prompter::Icon::Warning);
        return;
    }
    // An entry already in the list (same text, same case) is refused, whatever the list's
    // length; the text stays in the box and the existing entry is pointed out.
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->text() == text) {
            m_list->setCurrentRow(i);
            return;
        }
    }
    m_list->addItem(text);
    m_edit->clear();
}

void TCustom_ext::B_RemoveClick()
{
    QListWidgetItem *item = m_list->currentItem();
    if (!item || !item->isSelected())
        return;
    if (!item->text().isEmpty())
        m_edit->setText(item->text());
    delete m_list->takeItem(m_list->row(item));
}

void TCustom_ext::B_OKClick()
{
    emit listApplied();
    emit enableCustom(m_list->count() > 0);
    hide();
}

void TCustom_ext::B_saveprefsClick()
{
    bool written = true;
    try {
        WriteCustoms();
    } catch (const FileError &) {
        written = false;
        showMessage(QStringLiteral("Cannot wrote on disk. Are you running program from a CD?\n"
                                   "If so, you cannot save preferences!"),
                    Prompter::Icon::Critical, QStringLiteral("Disk error"));
    }
    emit enableCustom(m_list->count() > 0);
    if (written)
        showMessage(QStringLiteral("Preferences saved."));
}
