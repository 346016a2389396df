// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/profile.h"

#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "common/textcodec.h"

#include <QAtomicInt>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The name of a "[name]" line, or a null string for any other line.
QString sectionName(const QString &line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'['))
        return QString();
    const qsizetype close = trimmed.indexOf(u']');
    const QString name = close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1);
    return name.trimmed().isNull() ? QStringLiteral("") : name.trimmed();
}

bool isComment(const QString &line)
{
    return line.trimmed().startsWith(u';');
}

// Splits a "key=value" line; false for lines without "=" or with an empty key.
bool splitKeyLine(const QString &line, QString *key, QString *value)
{
    if (isComment(line))
        return false;
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return false;
    *key = line.left(equals).trimmed();
    if (key->isEmpty())
        return false;
    if (value)
        *value = line.mid(equals + 1).trimmed();
    return true;
}

QString cleanValue(QString value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    if (value.size() > Profile::MaxValueLength)
        value.truncate(Profile::MaxValueLength);
    return value;
}

QString fold(const QString &name)
{
    return name.toCaseFolded();
}

QString entryKey(const QString &section, const QString &key)
{
    return fold(section) + u'\n' + fold(key);
}

QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line, not an empty line
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

[[noreturn]] void throwUnableToWrite(const QString &path)
{
    throw FileError(QStringLiteral("Unable to write to %1").arg(path));
}

} // namespace

bool replaceFile(const QString &path, const QByteArray &contents)
{
    // By the path's own bytes: QSaveFile would turn a folder name that is not UTF-8 into other
    // bytes and fail.
    const QByteArray target = pathbytes::encode(path);
    static QAtomicInt serial;
    const QByteArray temporary =
        target + ".new-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(++serial);
    // The new file keeps the old one's permissions, or gets those of a new file.
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat old;
    bool ok = ::stat(target.constData(), &old) != 0 || ::fchmod(fd, old.st_mode & 07777) == 0;
    for (qsizetype done = 0; ok && done < contents.size();) {
        const ssize_t n = ::write(fd, contents.constData() + done, size_t(contents.size() - done));
        ok = n > 0 || (n < 0 && errno == EINTR);
        done += std::max<ssize_t>(n, 0);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.constData(), target.constData()) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

QString Profile::decode(const QByteArray &bytes)
{
    return textcodec::decodeLines(bytes);
}

bool Profile::openBounded(QFile &file, const QString &path)
{
    // Only a regular file is read: a folder, a FIFO or a device named as a language file
    // reads as empty and never blocks the start.
    if (!pathbytes::openFile(file, path, QIODevice::ReadOnly))
        return false;
    if (file.size() > MaxFileSize)
        throw FileError::cannotOpen(path);
    return true;
}

Profile::Profile(const QString &path)
{
    QFile file;
    if (!openBounded(file, path))
        return;
    const QByteArray bytes = file.read(MaxFileSize);
    bool inSection = false;
    QString prefix;
    for (const QByteArray &raw : splitLines(bytes)) {
        const QString line = decode(raw);
        const QString section = sectionName(line);
        if (!section.isNull()) {
            inSection = true;
            prefix = fold(section) + u'\n';
            continue;
        }
        QString key, value;
        if (!inSection || !splitKeyLine(line, &key, &value))
            continue;
        const QString id = prefix + fold(key);
        if (m_values.contains(id))
            continue;
        Entry entry{cleanValue(value), QString()};
        // A line that is not UTF-8 holds a file name's own bytes too.
        QString rawKey, rawValue;
        const QString exact = pathbytes::decode(raw);
        if (pathbytes::hasRawBytes(exact) && splitKeyLine(exact, &rawKey, &rawValue))
            entry.name = cleanValue(rawValue);
        m_values.insert(id, entry);
    }
}

const Profile::Entry *Profile::find(const QString &section, const QString &key) const
{
    const auto it = m_values.constFind(entryKey(section, key));
    return it == m_values.constEnd() ? nullptr : &*it;
}

QString Profile::value(const QString &section, const QString &key,
                       const QString &defaultValue) const
{
    const Entry *entry = find(section, key);
    return entry ? entry->text : defaultValue;
}

QString Profile::nameValue(const QString &section, const QString &key,
                           const QString &defaultValue) const
{
    const Entry *entry = find(section, key);
    if (!entry)
        return defaultValue;
    return entry->name.isNull() ? entry->text : entry->name;
}

bool Profile::contains(const QString &section, const QString &key) const
{
    return find(section, key) != nullptr;
}

void Profile::write(const QString &path, const QString &section, const QString &key,
                    const QString &value)
{
    QByteArray old;
    if (pathbytes::exists(path)) {
        QFile file;
        if (!pathbytes::openFile(file, path, QIODevice::ReadOnly) ||
            ::access(pathbytes::encode(path).constData(), W_OK) != 0)
            throwUnableToWrite(path);
        old = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throwUnableToWrite(path);
    }

    // Lines of other sections are kept byte for byte; only the new line is encoded, in the
    // file's own encoding.
    const bool utf8 = textcodec::isValidUtf8(old);
    const QByteArray eol = old.contains("\r\n") ? QByteArrayLiteral("\r\n") : QByteArray("\n");
    QString oneLine = value;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    // Names and keys are ASCII in practice; the value keeps its own bytes, a line being read
    // back on its own whatever the rest of the file holds.
    auto encode = [utf8](const QString &text) { return utf8 ? text.toUtf8() : text.toLatin1(); };
    const QByteArray valueBytes = pathbytes::encode(oneLine);
    auto decodeLine = [](const QByteArray &line) { return textcodec::decodeLines(line); };

    QList<QByteArray> lines = splitLines(old);
    qsizetype sectionLine = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString name = sectionName(decodeLine(lines[i]));
        if (!name.isNull() && fold(name) == fold(section)) {
            sectionLine = i;
            break;
        }
    }

    if (sectionLine < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QByteArray());
        lines.append(encode(QStringLiteral("[%1]").arg(section)));
        lines.append(encode(key + u'=') + valueBytes);
    } else {
        qsizetype insertAt = sectionLine + 1;
        bool replaced = false;
        for (qsizetype i = sectionLine + 1; i < lines.size(); ++i) {
            const QString line = decodeLine(lines[i]);
            if (!sectionName(line).isNull())
                break;
            if (!line.trimmed().isEmpty())
                insertAt = i + 1;
            QString existingKey;
            if (splitKeyLine(line, &existingKey, nullptr) && fold(existingKey) == fold(key)) {
                lines[i] = encode(existingKey + u'=') + valueBytes;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            lines.insert(insertAt, encode(key + u'=') + valueBytes);
    }

    QByteArray contents;
    for (const QByteArray &line : lines)
        contents += line + eol;
    if (!replaceFile(path, contents))
        throwUnableToWrite(path);
}
