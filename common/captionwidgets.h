// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>
#include <QPushButton>

// Controls whose least size is what their caption needs, no more. Some styles give every push
// button at least 80 pixels and a group box far more than its title takes; beside many short
// captions that made windows wider than designed. A layout still never makes them narrower
// than their caption, in any language.

class TCaptionButton : public QPushButton
{
public:
    // A layout may narrow the button from its preferred width down to its caption's.
    TCaptionButton(const QString &text, QWidget *parent);
    QSize minimumSizeHint() const override;
};

class TCaptionGroupBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;
    QSize minimumSizeHint() const override;
};
