// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// A description drawn as the description pane shows it: the pane's DOS font, its text colour
// on its background, its margin and tab stops, without wrapping.
namespace render {

struct PictureStyle
{
    QColor text = QColor(0, 0, 128);
    QColor background = Qt::white;
};

// The whole text (lines end with "\n"). Only the lines that start above `maxHeight` pixels
// are drawn, so a huge description never asks for a huge picture.
QImage descriptionPicture(const QString &text, int maxHeight, const PictureStyle &style = {});

// How tall a picture drawn for a thumbnail needs to be at most: a thumbnail shows the top of
// the description in a square, and no description is wider than this.
constexpr int ThumbnailSourceHeight = 4096;
// QPainter cannot draw on anything taller.
constexpr int MaxPictureHeight = 32767;
// The top of `picture`, at most as tall as it is wide, scaled down to at most `width` pixels
// wide (never up: an enlarged DOS font only blurs).
QImage thumbnail(const QImage &picture, int width);

} // namespace render
