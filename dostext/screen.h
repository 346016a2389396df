// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// Colour codes of DOS text, ANSI escape sequences and the BBS codes, played onto a grid of
// character cells in the 16 colours of the DOS palette.
namespace dostext {

// Which kinds of colour codes a text holds.
struct Codes
{
    bool ansi = false;       // ESC [ ... sequences
    bool synchronet = false; // Ctrl-A followed by a code letter
    bool pcboard = false;    // @Xbf (and Wildcat's @bf@)
    bool pipe = false;       // |nn
    bool any() const { return ansi || synchronet || pcboard || pipe; }
    // "ANSI escape sequences", ... one name per kind found.
    QStringList names() const;
};

// `text` as decodeKeepingControls() gives it.
Codes findCodes(const QString &text);

struct Cell
{
    char32_t ch = U' ';
    unsigned char fg = 7; // index into the DOS palette
    unsigned char bg = 0;
    bool operator==(const Cell &) const = default;
};

class Screen
{
public:
    explicit Screen(int width = 80) : m_width(width > 0 ? width : 80) {}
    int width() const { return m_width; }
    int height() const { return int(m_cells.size() / size_t(m_width)); }
    const Cell &at(int x, int y) const { return m_cells[size_t(y) * size_t(m_width) + size_t(x)]; }
    Cell &cell(int x, int y); // grows the grid down to row y
    void clear() { m_cells.clear(); }
    // Rows without trailing blanks, joined by "\n"; trailing empty rows left out.
    QString plainText() const;
    // The grid for a terminal: SGR colour sequences, ending with a reset.
    QByteArray terminalText() const;

private:
    int m_width;
    std::vector<Cell> m_cells;
};

// The 16 colours of the DOS palette as 0xRRGGBB.
unsigned paletteColor(int index);

// Plays `text` (control characters kept, as decodeKeepingControls() gives it) onto a screen of
// `width` columns. Blink is shown as a bright background (iCE colours), as art made for it
// expects; codes of kinds not in `codes` are ordinary characters.
Screen render(const QString &text, const Codes &codes, int width = 80);

} // namespace dostext
