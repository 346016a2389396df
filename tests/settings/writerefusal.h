// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>

#include <csignal>
#include <sys/resource.h>

// Makes a folder refuse new data for the lifetime of the object, also when the tests run as
// root (who ignores permission bits): the folder becomes read-only and the process may not
// write a single byte into a regular file.
class WriteRefusal
{
public:
    explicit WriteRefusal(const QString &dir) : m_dir(dir), m_permissions(QFile::permissions(dir))
    {
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                       QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        getrlimit(RLIMIT_FSIZE, &m_limit);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = m_limit;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~WriteRefusal()
    {
        setrlimit(RLIMIT_FSIZE, &m_limit);
        std::signal(SIGXFSZ, m_handler);
        QFile::setPermissions(m_dir, m_permissions);
    }
    WriteRefusal(const WriteRefusal &) = delete;
    WriteRefusal &operator=(const WriteRefusal &) = delete;

private:
    QString m_dir;
    QFile::Permissions m_permissions;
    rlimit m_limit{};
    void (*m_handler)(int) = SIG_DFL;
};
