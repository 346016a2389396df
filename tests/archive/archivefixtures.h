// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Archives with chosen sizes and dates, made by Python's zipfile.
struct DatedMember
{
    QString name;
    qint64 size = 0; // filled with 'a'
    int year = 2001, month = 1, day = 1, hour = 0, minute = 0;
};
bool makeDatedZip(const QString &path, const QList<DatedMember> &members);

// A file of `megabytes` MB of random bytes (incompressible: deflating it takes real time) and,
// when `zip` is given, an archive made by Python's zipfile that stores it as "big.bin".
bool makeLargeFile(const QString &path, int megabytes, const QString &zip = QString());

// Every file below `dir`, as relative paths, sorted.
QStringList filesBelow(const QString &dir);
