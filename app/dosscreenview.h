// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dostext/screen.h"

#include <QAbstractScrollArea>

// Shows a rendered DOS screen: each cell's character in its colours of the DOS palette, in a
// fixed grid of the font's character cells. Only the rows in view are painted, so a long
// description costs no more than a short one.
class TDosScreenView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TDosScreenView(QWidget *parent = nullptr);
    void setScreen(const dostext::Screen &screen, const QFont &font);
    const dostext::Screen &screen() const { return m_screen; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateScrollBars();
    void paintRow(QPainter &painter, int row, int top);

    dostext::Screen m_screen;
    int m_cellWidth = 8;
    int m_cellHeight = 16;
    int m_ascent = 12;
};
