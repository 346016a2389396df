// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/langdialog.h"

#include "common/pathbytes.h"
#include "common/windowplace.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton *makeButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFlat(true);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TLangForm::TLangForm(const QString &startDir, const QString &settingsDir, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_startDir(startDir), m_settingsDir(settingsDir)
{
    setObjectName(QStringLiteral("LangForm"));
    setWindowTitle(QStringLiteral("Customize language"));
    setModal(true);
    m_targets.langForm = this;

    m_label1 = new QLabel(QStringLiteral("Please select your favourite language:"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setTextFormat(Qt::PlainText);
    m_label2 = new QLabel(
        QStringLiteral("NOTE: you can create your own version by adding a new QLG file "
                       "(=QuorilLanguage)  in the program directory, using ENGLISH.QLG as a "
                       "template. Afterwards, if you send me your custom file, I'll include it "
                       "(with your name) in the future releases of Quoril."),
        this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setTextFormat(Qt::PlainText);
    m_label2->setWordWrap(true);
    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("FileBox"));
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_label1->setBuddy(m_files);

    m_default = makeButton(QStringLiteral("B_Def"), QStringLiteral("Set as default"), this);
    m_cancel = makeButton(QStringLiteral("B_cancel"), QStringLiteral("Cancel"), this);
    m_ok = makeButton(QStringLiteral("B_OK"), QStringLiteral("OK"), this);
    m_ok->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_default);
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_ok);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label1);
    layout->addWidget(m_files);
    layout->addWidget(m_label2);
    layout->addLayout(buttons);
    // Fixed size, following the captions of the language in force.
    m_label2->setFixedWidth(360);
    m_files->setFixedHeight(140);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_ok, &QPushButton::clicked, this, &TLangForm::B_OKClick);
    connect(m_cancel, &QPushButton::clicked, this, &TLangForm::B_cancelClick);
    connect(m_default, &QPushButton::clicked, this, &TLangForm::B_DefClick);
    connect(m_files, &QListWidget::itemDoubleClicked, this, &TLangForm::FileBoxDblClick);

    refreshFiles();
}

void TLangForm::setTargets(const LanguageTargets &targets)
{
    m_targets = targets;
    if (!m_targets.langForm)
        m_targets.langForm = this;
}

void TLangForm::ApplyLanguage(const QString &path)
{
    ::ApplyLanguage(path, m_targets);
}

void TLangForm::refreshFiles()
{
    const QString previous = selectedName();
    m_files->clear();
    // "*.qlg" is listed too. Each item shows its name as the user reads it and keeps the
    // name's bytes, which the settings store.
    QStringList names = pathbytes::fileNames(m_startDir, u".QLG");
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(pathbytes::display(name), m_files);
        item->setData(Qt::UserRole, name);
        if (name == previous)
            m_files->setCurrentItem(item);
    }
}

QString TLangForm::selectedName() const
{
    const QList<QListWidgetItem *> selected = m_files->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(Qt::UserRole).toString();
}

QString TLangForm::selectedPath() const
{
    const QString name = selectedName();
    return name.isEmpty() ? QString() : m_startDir + u'/' + name;
}

int TLangForm::exec()
{
    refreshFiles();
    adjustSize();
    centreWindow(this);
    return QDialog::exec();
}

void TLangForm::B_OKClick()
{
    const QString path = selectedPath();
    if (!path.isEmpty())
        ApplyLanguage(path);
    accept();
}

void TLangForm::FileBoxDblClick()
{
    ApplyLanguage(selectedPath());
    accept();
}

void TLangForm::B_DefClick()
{
    writeStartupLanguage(m_settingsDir, selectedName());
    ApplyLanguage(selectedPath());
    accept();
}

void TLangForm::B_cancelClick()
{
    reject();
}
