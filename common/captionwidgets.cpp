// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/captionwidgets.h"

#include <QStyle>
#include <QStyleOption>

TCaptionButton::TCaptionButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    QSizePolicy policy = sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Preferred);
    setSizePolicy(policy);
}

QSize TCaptionButton::minimumSizeHint() const
{
    const QSize styled = QPushButton::minimumSizeHint();
    if (!icon().isNull() || menu())
        return styled;
    QStyleOptionButton option;
    initStyleOption(&option);
    // The caption is drawn inside the frame and the default-button ring; the margin is the
    // breathing room the style gives every caption.
    int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    if (option.features & QStyleOptionButton::AutoDefaultButton)
        frame += style()->pixelMetric(QStyle::PM_ButtonDefaultIndicator, &option, this);
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this);
    const int caption = fontMetrics().size(Qt::TextShowMnemonic, text()).width();
    return {std::min(styled.width(), caption + 2 * frame + margin), styled.height()};
}

QSize TCaptionGroupBox::minimumSizeHint() const
{
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    option.rect = QRect(0, 0, QWIDGETSIZE_MAX / 2, height());
    const QRect label =
        style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    // The title keeps as much room on its right as the style leaves on its left.
    const int titleWidth = title().isEmpty() ? 0 : label.right() + 1 + label.left();
    const QSize styled = QGroupBox::minimumSizeHint();
    const QSize contents = QWidget::minimumSizeHint();
    return {std::max(titleWidth, contents.width()), styled.height()};
}
