// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

// A file's path as the system names it: its exact bytes, which need not be UTF-8. What the
// user reads is computed (display()); the byte-exact text form the shell tree and the main
// window pass around (see common/pathbytes.h) is path(). No QString converts to it unnoticed:
// a text becomes a path only through fromPath().
class TFilePath
{
public:
    TFilePath() = default;
    explicit TFilePath(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    // From the byte-exact text form (each byte that is not UTF-8 held as U+DC00 + byte).
    static TFilePath fromPath(QStringView path);

    const QByteArray &bytes() const { return m_bytes; }
    QString path() const;
    QString display() const;
    bool isEmpty() const { return m_bytes.isEmpty(); }

    // The folder that holds it ("/" for a file at the root), and its last component.
    TFilePath folder() const;
    QString displayName() const;

    bool operator==(const TFilePath &other) const = default;

private:
    QByteArray m_bytes;
};

inline size_t qHash(const TFilePath &path, size_t seed = 0)
{
    return qHash(path.bytes(), seed);
}
