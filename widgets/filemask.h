// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Wildcard masks of a file tree: "*" (any run), "?" (one character), case-insensitive.
namespace filemask {

// Splits a ";"-separated mask text into trimmed, non-empty masks; an empty or blank text
// gives the single mask "*.*".
QStringList parse(const QString &text);

// Whether one mask matches a file name (the last component of a path). "*" matches every
// name, "*.*" every name holding a ".", a mask without wildcards only the equal name; other
// masks match with backtracking, so "*.zip" matches "a.zip.zip".
bool matches(const QString &mask, const QString &name);

// Whether a name passes a mask list: the list is empty or at least one mask matches.
bool passes(const QStringList &masks, const QString &name);

} // namespace filemask
