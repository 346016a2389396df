// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

class QFontComboBox;
class QSpinBox;
class QCheckBox;
class QPushButton;
class QLabel;

// The editor's font dialog: family, a size from 6 to 14 points, the effects (underline,
// strike-out) and a colour.
class TFontDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TFontDialog(QWidget *parent = nullptr);
    void setChoice(const QFont &font, const QColor &color);
    // The offered font itself (its pixel size, rendering and hinting) while the user keeps its
    // family and size; otherwise the family at the chosen point size.
    QFont chosenFont() const;
    QColor chosenColor() const { return m_color; }

private:
    void updatePreview();

    QFontComboBox *m_family;
    QSpinBox *m_size;
    QCheckBox *m_bold;
    QCheckBox *m_italic;
    QCheckBox *m_underline;
    QCheckBox *m_strikeOut;
    QPushButton *m_colorButton;
    QLabel *m_preview;
    QColor m_color;
    // The font offered by setChoice and the size shown for it.
    QFont m_offered;
    int m_offeredPoints = 0;
};
