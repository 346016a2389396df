// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/pathbytes.h"

#include <QString>
#include <stdexcept>

// An error raised by a file operation ("Cannot open file %s", "Cannot create file %s").
// It is not caught where it happens: the application's top-level handler shows the message
// and abandons the event that raised it.
class FileError : public std::runtime_error
{
public:
    explicit FileError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {}
    const QString &message() const { return m_message; }

    // The path is named as the user sees it (common/pathbytes.h).
    static FileError cannotOpen(const QString &path)
    {
        return FileError(QStringLiteral("Cannot open file %1").arg(pathbytes::display(path)));
    }
    static FileError cannotCreate(const QString &path)
    {
        return FileError(QStringLiteral("Cannot create file %1").arg(pathbytes::display(path)));
    }
    static FileError cannotWrite(const QString &path)
    {
        return FileError(QStringLiteral("Cannot write file %1").arg(pathbytes::display(path)));
    }

private:
    QString m_message;
};
