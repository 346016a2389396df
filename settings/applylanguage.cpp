// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/language.h"

#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "common/prompter.h"
#include "settings/profile.h"
#include "settings/qttranslation.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QVariant>

#include <cstring>

namespace {

// Finds a control of `window` by objectName, breadth first, without descending into other
// top-level windows (dialogs parented to the main window hold controls of the same names).
QWidget *findControl(QWidget *window, const QString &name)
{
    QList<QWidget *> queue{window};
    while (!queue.isEmpty()) {
        QWidget *widget = queue.takeFirst();
        for (QObject *child : widget->children()) {
            auto *childWidget = qobject_cast<QWidget *>(child);
            if (!childWidget || childWidget->isWindow())
                continue;
            if (childWidget->objectName() == name)
                return childWidget;
            queue.append(childWidget);
        }
    }
    return nullptr;
}

QMenuBar *findMenuBar(QWidget *window)
{
    const QList<QMenuBar *> bars = window->findChildren<QMenuBar *>();
    for (QMenuBar *bar : bars) {
        if (bar->window() == window)
            return bar;
    }
    return nullptr;
}

QList<QAction *> itemsWithoutSeparators(const QList<QAction *> &actions)
{
    QList<QAction *> items;
    for (QAction *action : actions) {
        if (!action->isSeparator())
            items.append(action);
    }
    return items;
}

// The action of a menu key: "1" is the second top-level menu, "14" its fifth item.
QAction *menuAction(QWidget *window, const QString &key)
{
    QMenuBar *bar = findMenuBar(window);
    if (!bar || key.isEmpty() || key.size() > 2)
        return nullptr;
    const QList<QAction *> menus = itemsWithoutSeparators(bar->actions());
    const int top = key.at(0).digitValue();
    if (top < 0 || top >= menus.size())
        return nullptr;
    if (key.size() == 1)
        return menus.at(top);
    QMenu *menu = menus.at(top)->menu();
    const int item = key.at(1).digitValue();
    if (!menu || item < 0)
        return nullptr;
    const QList<QAction *> items = itemsWithoutSeparators(menu->actions());
    return item < items.size() ? items.at(item) : nullptr;
}

void setCaption(QWidget *control, const QString &text)
{
    if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        button->setText(text);
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        // Captions are plain text: "<filename>.txt" is not a tag.
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
    } else if (auto *group = qobject_cast<QGroupBox *>(control)) {
        group->setTitle(text);
    } else if (control->metaObject()->indexOfProperty("text") >= 0) {
        control->setProperty("text", text);
    } else if (control->metaObject()->indexOfProperty("title") >= 0) {
        control->setProperty("title", text);
    }
}

// A page's caption is its tab's text in the tab widget that holds it.
void setTabCaption(QWidget *page, const QString &text)
{
    for (QWidget *parent = page->parentWidget(); parent; parent = parent->parentWidget()) {
        if (auto *tabs = qobject_cast<QTabWidget *>(parent)) {
            const int index = tabs->indexOf(page);
            if (index >= 0) {
                tabs->setTabText(index, text);
                return;
            }
        }
    }
}

void applyRow(const LanguageKey &row, QWidget *window, const QString &text)
{
    const QString section = QString::fromLatin1(row.section);
    if (section == u"Menu") {
        if (QAction *action = menuAction(window, QString::fromLatin1(row.key)))
            action->setText(text);
    } else if (std::strlen(row.control) == 0) {
        window->setWindowTitle(text);
    } else if (QWidget *control = findControl(window, QString::fromLatin1(row.control))) {
        if (section == u"Tabs")
            setTabCaption(control, text);
        else
            setCaption(control, text);
    } else if (auto *action = window->findChild<QAction *>(QString::fromLatin1(row.control))) {
        action->setText(text);
    } else if (window->metaObject()->indexOfProperty(row.control) >= 0) {
        window->setProperty(row.control, text);
    }
}

// The wait cursor, restored however the application of a file ends.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { restore(); }
    void restore()
    {
        if (m_active)
            QApplication::restoreOverrideCursor();
        m_active = false;
    }

private:
    bool m_active = true;
};

} // namespace

void ApplyLanguage(const QString &path, const LanguageTargets &targets)
{
    WaitCursor cursor;
    QString failure;
    qttranslation::install(path);
    try {
        const Profile profile(path);
        for (const LanguageKey &row : languageKeys()) {
            const QString text =
                profile.value(QString::fromLatin1(row.section), QString::fromLatin1(row.key),
                              QString::fromUtf8(row.builtIn));
            if (QWidget *window = targets.window(row.window))
                applyRow(row, window, text);
            if (std::strcmp(row.section, "Buttons") == 0 && std::strcmp(row.key, "custom") == 0 &&
                targets.setAllCustomLabel) {
                QWidget *button =
                    targets.main ? findControl(targets.main, QStringLiteral("B_Custom")) : nullptr;
                auto *custom = qobject_cast<QAbstractButton *>(button);
                targets.setAllCustomLabel(custom ? custom->text() : text);
            }
        }
    } catch (const FileError &error) {
        failure = error.message();
    } catch (...) {
        failure = QStringLiteral("Err language file; default English");
    }
    cursor.restore();
    if (!failure.isEmpty())
        showMessage(failure, Prompter::Icon::Critical);
}

void applyLanguageNamed(const QString &name, const LanguageTargets &targets)
{
    ApplyLanguage(pathbytes::currentDir() + u'/' + name, targets);
}

QString applyStartupLanguage(const QString &settingsDir, const LanguageTargets &targets)
{
    const QString name = readStartupLanguage(settingsDir);
    if (name != u"default") {
        applyLanguageNamed(name, targets);
    } else if (targets.setAllCustomLabel) {
        QWidget *button =
            targets.main ? findControl(targets.main, QStringLiteral("B_Custom")) : nullptr;
        auto *custom = qobject_cast<QAbstractButton *>(button);
        targets.setAllCustomLabel(custom ? custom->text() : QStringLiteral("all custom files"));
    }
    return name;
}
