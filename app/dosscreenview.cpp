// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dosscreenview.h"

#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>

TDosScreenView::TDosScreenView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, QColor::fromRgb(dostext::paletteColor(0)));
    viewport()->setPalette(p);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
}

void TDosScreenView::setScreen(const dostext::Screen &screen, const QFont &font)
{
    m_screen = screen;
    viewport()->setFont(font);
    const QFontMetrics metrics(font);
    m_cellWidth = qMax(1, metrics.horizontalAdvance(QLatin1Char('M')));
    m_cellHeight = qMax(1, metrics.height());
    m_ascent = metrics.ascent();
    updateScrollBars();
    viewport()->update();
}

void TDosScreenView::updateScrollBars()
{
    const QSize area = viewport()->size();
    verticalScrollBar()->setPageStep(qMax(1, area.height() / m_cellHeight));
    verticalScrollBar()->setRange(0, qMax(0, m_screen.height() - area.height() / m_cellHeight));
    horizontalScrollBar()->setPageStep(area.width());
    horizontalScrollBar()->setSingleStep(m_cellWidth);
    horizontalScrollBar()->setRange(0, qMax(0, m_screen.width() * m_cellWidth - area.width()));
}

void TDosScreenView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

// One row in runs of cells that share their colours: a background rectangle and one text
// draw per run.
void TDosScreenView::paintRow(QPainter &painter, int row, int top)
{
    const int left = -horizontalScrollBar()->value();
    int x = 0;
    while (x < m_screen.width()) {
        const dostext::Cell &first = m_screen.at(x, row);
        int end = x + 1;
        std::u32string text(1, first.ch);
        while (end < m_screen.width() && m_screen.at(end, row).fg == first.fg &&
               m_screen.at(end, row).bg == first.bg)
            text += m_screen.at(end++, row).ch;
        const QRect box(left + x * m_cellWidth, top, (end - x) * m_cellWidth, m_cellHeight);
        if (first.bg != 0)
            painter.fillRect(box, QColor::fromRgb(dostext::paletteColor(first.bg)));
        if (text.find_first_not_of(U' ') != std::u32string::npos) {
            // The fonts offered are fixed-pitch: a run is drawn in one call and keeps the grid.
            painter.setPen(QColor::fromRgb(dostext::paletteColor(first.fg)));
            painter.drawText(box.left(), top + m_ascent,
                             QString::fromUcs4(text.data(), qsizetype(text.size())));
        }
        x = end;
    }
}

void TDosScreenView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const int first = verticalScrollBar()->value();
    const int rows = viewport()->height() / m_cellHeight + 1;
    for (int r = 0; r < rows && first + r < m_screen.height(); ++r)
        paintRow(painter, first + r, r * m_cellHeight);
}
