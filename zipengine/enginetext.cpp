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
