// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/picture.h"

#include "render/dosfont.h"

#include <QPainter>
#include <QStringList>
#include <QTextLayout>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// QPlainTextEdit's document margin and its default tab stop distance.
constexpr int Margin = 4;
constexpr qreal TabStop = 80;

std::unique_ptr<QTextLayout> layoutLine(const QString &line, const QFont &font)
{
    auto layout = std::make_unique<QTextLayout>(line, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(TabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    layout->createLine();
    layout->endLayout();
    return layout;
}

} // namespace

namespace render {

QImage descriptionPicture(const QString &text, int maxHeight, const PictureStyle &style)
{
    const QFont font = dosFont();
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > 1 && lines.constLast().isEmpty())
        lines.removeLast(); // the last line's end starts no line of its own
    const int limit = std::clamp(maxHeight, 1, MaxPictureHeight) - Margin;
    std::vector<std::unique_ptr<QTextLayout>> layouts;
    qreal width = 0;
    qreal height = 0;
    for (const QString &line : std::as_const(lines)) {
        if (height >= limit)
            break;
        layouts.push_back(layoutLine(line, font));
        const QTextLine laid = layouts.back()->lineAt(0);
        width = std::max(width, laid.naturalTextWidth());
        height += laid.height();
    }
    const QSize size(
        qCeil(width) + 2 * Margin,
        std::min(qCeil(height) + 2 * Margin, std::clamp(maxHeight, 1, MaxPictureHeight)));
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(style.background);
    QPainter painter(&picture);
    painter.setPen(style.text);
    qreal y = Margin;
    for (const auto &layout : layouts) {
        layout->draw(&painter, QPointF(Margin, y));
        y += layout->lineAt(0).height();
    }
    return picture;
}

QImage thumbnail(const QImage &picture, int width)
{
    const QImage top =
        picture.copy(0, 0, picture.width(), std::min(picture.height(), picture.width()));
    if (width <= 0 || width >= top.width())
        return top;
    return top.scaledToWidth(width, Qt::SmoothTransformation);
}

} // namespace render
