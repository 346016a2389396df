// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/filepath.h"

#include "common/pathbytes.h"

TFilePath TFilePath::fromPath(QStringView path)
{
    return TFilePath(pathbytes::encode(path));
}

QString TFilePath::path() const
{
    return pathbytes::decode(m_bytes);
}

QString TFilePath::display() const
{
    return pathbytes::display(path());
}

TFilePath TFilePath::folder() const
{
    const qsizetype slash = m_bytes.lastIndexOf('/');
    if (slash < 0)
        return {};
    return TFilePath(slash == 0 ? QByteArray("/") : m_bytes.left(slash));
}

QString TFilePath::displayName() const
{
    return pathbytes::display(pathbytes::decode(m_bytes.mid(m_bytes.lastIndexOf('/') + 1)));
}
