// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// Zero-terminated copies of texts handed to the engine, made just before a call and released
// when the object goes, also when the call fails. Paths carry their exact bytes (see
// common/pathbytes.h); nothing is cut to a fixed length.
class EngineText
{
public:
    explicit EngineText(const QString &text);
    explicit EngineText(const QByteArray &bytes);
    char *get() { return m_bytes.data(); }

private:
    QByteArray m_bytes;
};

class EngineTextArray
{
public:
    explicit EngineTextArray(const QStringList &texts);
    int count() const { return static_cast<int>(m_copies.size()); }
    // Null when empty.
    char **get() { return m_pointers.empty() ? nullptr : m_pointers.data(); }

private:
    std::vector<QByteArray> m_copies;
    std::vector<char *> m_pointers;
};

// The level character of a level box's text: its first character, '6' when the text is empty.
// A character that is no ASCII digit is handed on as a non-digit, for the engine to refuse.
char levelCharacter(const QString &text);
// True for a level written as one ASCII digit 0 to 9.
bool isLevelText(const QString &text);

// The engine's byte form of a path or member name, and back, byte for byte.
QByteArray toEngineBytes(const QString &text);
QString fromEngineBytes(const char *text);
