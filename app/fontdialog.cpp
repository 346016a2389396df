// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/fontdialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TFontDialog::TFontDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FontDialog1"));
    setWindowTitle(QStringLiteral("Font"));
    m_family = new QFontComboBox(this);
    m_family->setObjectName(QStringLiteral("FontFamily"));
    m_size = new QSpinBox(this);
    m_size->setObjectName(QStringLiteral("FontSize"));
    m_size->setRange(6, 14);
    m_size->setSuffix(QStringLiteral(" pt"));
    m_bold = new QCheckBox(QStringLiteral("&Bold"), this);
    m_italic = new QCheckBox(QStringLiteral("&Italic"), this);
    m_underline = new QCheckBox(QStringLiteral("&Underline"), this);
    m_strikeOut = new QCheckBox(QStringLiteral("Stri&keout"), this);
    m_colorButton = new QPushButton(QStringLiteral("&Colour..."), this);
    m_colorButton->setObjectName(QStringLiteral("FontColor"));
    m_preview = new QLabel(QStringLiteral("AaBbYyZz 0123 ╔═╗ ░▒▓"), this);
    m_preview->setMinimumHeight(48);
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setFrameShape(QFrame::StyledPanel);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Font:"), m_family);
    form->addRow(QStringLiteral("&Size:"), m_size);
    auto *effects = new QHBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(m_bold), static_cast<QWidget *>(m_italic),
                       static_cast<QWidget *>(m_underline), static_cast<QWidget *>(m_strikeOut)})
        effects->addWidget(w);
    form->addRow(QStringLiteral("Effects:"), effects);
    form->addRow(QStringLiteral("Colour:"), m_colorButton);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_preview);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_family, &QFontComboBox::currentFontChanged, this, &TFontDialog::updatePreview);
    connect(m_size, &QSpinBox::valueChanged, this, &TFontDialog::updatePreview);
    for (QCheckBox *box : {m_bold, m_italic, m_underline, m_strikeOut})
        connect(box, &QCheckBox::toggled, this, &TFontDialog::updatePreview);
    connect(m_colorButton, &QPushButton::clicked, this, [this] {
        const QColor color = QColorDialog::getColor(m_color, this);
        if (color.isValid()) {
            m_color = color;
            updatePreview();
        }
    });
}

void TFontDialog::setChoice(const QFont &font, const QColor &color)
{
    m_family->setCurrentFont(font);
    const int points = font.pointSize() > 0 ? font.pointSize() : qRound(font.pixelSize() * 0.75);
    m_size->setValue(qBound(6, points, 14));
    m_offered = font;
    m_offeredPoints = m_size->value();
    m_bold->setChecked(font.bold());
    m_italic->setChecked(font.italic());
    m_underline->setChecked(font.underline());
    m_strikeOut->setChecked(font.strikeOut());
    m_color = color;
    updatePreview();
}

QFont TFontDialog::chosenFont() const
{
    QFont font = m_family->currentFont();
    if (font.family() == m_offered.family() && m_size->value() == m_offeredPoints)
        font = m_offered;
    else
        font.setPointSize(m_size->value());
    font.setBold(m_bold->isChecked());
    font.setItalic(m_italic->isChecked());
    font.setUnderline(m_underline->isChecked());
    font.setStrikeOut(m_strikeOut->isChecked());
    return font;
}

void TFontDialog::updatePreview()
{
    m_preview->setFont(chosenFont());
    QPalette palette = m_preview->palette();
    palette.setColor(QPalette::WindowText, m_color);
    m_preview->setPalette(palette);
}
