// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/enginetext.h"

#include "common/pathbytes.h"

QByteArray toEngineBytes(const QString &text)
{
    return pathbytes::encode(text);
}

QString fromEngineBytes(const char *text)
{
    return pathbytes::decode(QByteArrayView(text));
}

char levelCharacter(const QString &text)
{
    if (text.isEmpty())
        return '6';
    const char16_t c = text.at(0).unicode();
    return c > 0 && c < 0x80 ? static_cast<char>(c) : '?';
}

bool isLevelText(const QString &text)
{
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

EngineText::EngineText(const QString &text) : m_bytes(toEngineBytes(text)) {}

EngineText::EngineText(const QByteArray &bytes) : m_bytes(bytes) {}

EngineTextArray::EngineTextArray(const QStringList &texts)
{
    m_copies.reserve(static_cast<size_t>(texts.size()));
    for (const QString &text : texts)
        m_copies.push_back(toEngineBytes(text));
    m_pointers.reserve(m_copies.size());
    for (QByteArray &copy : m_copies)
        m_pointers.push_back(copy.data());
}
