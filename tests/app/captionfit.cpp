// SPDX-License-Identifier: GPL-3.0-or-later
#include "captionfit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTextDocument>
#include <QToolButton>

namespace {

// The same allowance the program makes for a window manager's title bar and frame.
constexpr int TitleBarButtons = 140;
const QMargins FrameAllowance(6, 32, 6, 6);

// The text as drawn: "&x" underlines x, "&&" is one "&".
QString shownText(const QString &text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&' && i + 1 < text.size())
            ++i;
        shown += text.at(i);
    }
    return shown;
}

QSize textSize(const QFontMetrics &metrics, const QString &text)
{
    const QStringList lines = text.split(u'\n');
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    return {width, int(lines.size()) * metrics.height()};
}

QString describe(const QWidget *widget, const QString &text)
{
    const QString name = widget->objectName().isEmpty()
                             ? QString::fromLatin1(widget->metaObject()->className())
                             : widget->objectName();
    return QStringLiteral("%1 \"%2\"").arg(name, text);
}

class Checker
{
public:
    explicit Checker(QWidget *window) : m_window(window) {}

    // `room` is the control's rectangle for the text, in its own coordinates; the text needs
    // `need`. The room that is actually seen is cut by every parent up to the window.
    void check(const QWidget *widget, const QString &text, QRect room, QSize need)
    {
        if (text.isEmpty())
            return;
        if (room.width() < need.width() || room.height() < need.height()) {
            m_faults << QStringLiteral("%1 needs %2x%3 pixels, has %4x%5")
                            .arg(describe(widget, text))
                            .arg(need.width())
                            .arg(need.height())
                            .arg(room.width())
                            .arg(room.height());
            return;
        }
        const QRect seen = visiblePart(widget, room);
        if (seen != QRect(widget->mapTo(m_window, room.topLeft()), room.size()))
            m_faults << QStringLiteral("%1 is cut off by its parent").arg(describe(widget, text));
    }

    void fault(const QString &text) { m_faults << text; }
    QStringList faults() const { return m_faults; }

private:
    QRect visiblePart(const QWidget *widget, const QRect &rect) const
    {
        QRect seen(widget->mapTo(m_window, rect.topLeft()), rect.size());
        for (const QWidget *w = widget; w && w != m_window; w = w->parentWidget()) {
            const QWidget *parent = w->parentWidget();
            seen &= QRect(parent->mapTo(m_window, QPoint()), parent->size());
        }
        return seen;
    }

    QWidget *m_window;
    QStringList m_faults;
};

QStyleOptionButton buttonOption(const QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    if (auto *push = qobject_cast<const QPushButton *>(button)) {
        if (push->isFlat())
            option.features |= QStyleOptionButton::Flat;
        if (push->menu())
            option.features |= QStyleOptionButton::HasMenu;
        if (push->isDefault() || push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
    }
    return option;
}

void checkButton(Checker &checker, QAbstractButton *button)
{
    const QString text = shownText(button->text());
    if (text.isEmpty())
        return;
    const QFontMetrics metrics = button->fontMetrics();
    QSize need = textSize(metrics, text);
    if (!button->icon().isNull())
        need.rwidth() += button->iconSize().width() + 4;
    if (auto *tool = qobject_cast<QToolButton *>(button)) {
        // A tool button draws its text in what its frame, arrow and menu indicator leave.
        checker.check(button, text, tool->rect(), QSize(tool->sizeHint().width(), 0));
        return;
    }
    const QStyleOptionButton option = buttonOption(button);
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox *>(button))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton *>(button))
        contents = QStyle::SE_RadioButtonContents;
    checker.check(button, text, button->style()->subElementRect(contents, &option, button), need);
}

void checkLabel(Checker &checker, QLabel *label)
{
    if (label->text().isEmpty() || !label->pixmap().isNull())
        return;
    QString text = label->text();
    if (label->textFormat() == Qt::RichText ||
        (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
        QTextDocument document;
        document.setHtml(text);
        text = document.toPlainText();
    } else if (label->buddy()) {
        text = shownText(text);
    }
    const int margin = label->margin();
    QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    if (label->indent() > 0)
        room.adjust(label->indent(), 0, 0, 0);
    if (label->wordWrap()) {
        // A wrapped text needs the height its width gives it.
        checker.check(label, text, label->rect(), QSize(0, label->heightForWidth(label->width())));
        return;
    }
    checker.check(label, text, room, textSize(label->fontMetrics(), text));
}

void checkGroupBox(Checker &checker, QGroupBox *box)
{
    const QString title = shownText(box->title());
    if (title.isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (box->isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    option.textAlignment = box->alignment();
    const QRect label =
        box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    // The label is placed for the whole title; it must lie within the box.
    checker.check(box, title, label.intersected(box->rect()), QSize(label.width(), 0));
}

void checkTabs(Checker &checker, QTabBar *bar)
{
    const int padding = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
    for (int i = 0; i < bar->count(); ++i) {
        const QString text = shownText(bar->tabText(i));
        QSize need = textSize(bar->fontMetrics(), text);
        need.rwidth() += padding;
        checker.check(bar, text, bar->tabRect(i).intersected(bar->rect()), need);
    }
}

void checkMenuBar(Checker &checker, QMenuBar *bar)
{
    for (QAction *action : bar->actions()) {
        if (action->isSeparator() || !action->isVisible())
            continue;
        const QString text = shownText(action->text());
        checker.check(bar, text, bar->actionGeometry(action).intersected(bar->rect()),
                      QSize(bar->fontMetrics().horizontalAdvance(text), 0));
    }
}

void checkMenu(Checker &checker, QMenu *menu, const QRect &screen)
{
    const QSize size = menu->sizeHint();
    if (!screen.isEmpty() && (size.width() > screen.width() || size.height() > screen.height()))
        checker.fault(QStringLiteral("menu %1 (%2x%3) does not fit on the screen")
                          .arg(menu->objectName())
                          .arg(size.width())
                          .arg(size.height()));
    const QRect inside(QPoint(), size);
    for (QAction *action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible())
            continue;
        const QString text = shownText(action->text());
        const QRect item = menu->actionGeometry(action);
        if (!inside.contains(item) || item.width() < menu->fontMetrics().horizontalAdvance(text)) {
            checker.fault(QStringLiteral("menu item %1 has %2 pixels")
                              .arg(describe(menu, text))
                              .arg(item.width()));
        }
    }
}

} // namespace

QStringList clippedCaptions(QWidget *window)
{
    Checker checker(window);
    QList<QWidget *> widgets{window};
    widgets += window->findChildren<QWidget *>();
    for (QWidget *widget : std::as_const(widgets)) {
        if (auto *menu = qobject_cast<QMenu *>(widget)) {
            checkMenu(checker, menu, window->screen()->availableGeometry());
            continue;
        }
        if (widget->window() != window || !widget->isVisibleTo(window))
            continue;
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            checkButton(checker, button);
        else if (auto *label = qobject_cast<QLabel *>(widget))
            checkLabel(checker, label);
        else if (auto *box = qobject_cast<QGroupBox *>(widget))
            checkGroupBox(checker, box);
        else if (auto *tabs = qobject_cast<QTabBar *>(widget))
            checkTabs(checker, tabs);
        else if (auto *bar = qobject_cast<QMenuBar *>(widget))
            checkMenuBar(checker, bar);
    }

    QFont titleFont = window->font();
    titleFont.setBold(true);
    // A path in a title is data, shown as far as the title bar goes; the caption before it
    // must fit.
    const QString caption = window->windowTitle().section(u'/', 0, 0);
    const int title = QFontMetrics(titleFont).horizontalAdvance(caption);
    if (title + TitleBarButtons > window->width())
        checker.fault(QStringLiteral("title \"%1\" needs %2 pixels, the window is %3 wide")
                          .arg(caption)
                          .arg(title + TitleBarButtons)
                          .arg(window->width()));
    // Without a window manager (offscreen) the window has no frame: the program placed it
    // with room for one at its position.
    QRect frame = window->frameGeometry();
    if (frame == window->geometry())
        frame = QRect(window->pos(), window->size().grownBy(FrameAllowance));
    const QRect screen = window->screen()->availableGeometry();
    if (!screen.contains(frame))
        checker.fault(QStringLiteral("window with its frame (%1,%2 %3x%4) is not all on the "
                                     "screen (%5x%6)")
                          .arg(frame.x())
                          .arg(frame.y())
                          .arg(frame.width())
                          .arg(frame.height())
                          .arg(screen.width())
                          .arg(screen.height()));
    return checker.faults();
}
