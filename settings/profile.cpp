#include "settings/profile.h"

#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "common/textcodec.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // QSaveFile::commit() does not notice a failed flush of its buffer and would put a
    // truncated file in place of the old one: flush first and give up on failure.
    if (file.write(contents) != contents.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString Profile::decode(const QByteArray &bytes)
{
    return textcodec::decodeLines(bytes);
}

Profile::Profile(const QString &path)
{
    // Only a regular file is read: a folder, a FIFO or a device named as a language file
    // reads as empty and never blocks the start.
    QFile file;
    if (!pathbytes::openFile(file, path, QIODevice::ReadOnly))
        return;
    const QString text = decode(file.readAll());

    QHash<QString, QString> *current = nullptr;
    for (QStringView view : QStringView(text).split(u'\n')) {
        QString line = view.toString();
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString section = sectionName(line);
        if (!section.isNull()) {
            current = &m_sections[fold(section)];
            continue;
        }
        QString key, value;
        if (current && splitKeyLine(line, &key, &value)) {
            const QString folded = fold(key);
            if (!current->contains(folded))
                current->insert(folded, cleanValue(value));
        }
    }
}

QString Profile::value(const QString &section, const QString &key,
                       const QString &defaultValue) const
{
    const auto sectionIt = m_sections.constFind(fold(section));
    if (sectionIt == m_sections.constEnd())
        return defaultValue;
    const auto keyIt = sectionIt->constFind(fold(key));
    return keyIt == sectionIt->constEnd() ? defaultValue : *keyIt;
}

bool Profile::contains(const QString &section, const QString &key) const
{
    const auto sectionIt = m_sections.constFind(fold(section));
    return sectionIt != m_sections.constEnd() && sectionIt->contains(fold(key));
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
    auto encode = [utf8](const QString &text) { return utf8 ? text.toUtf8() : text.toLatin1(); };
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
        lines.append(encode(key + u'=' + oneLine));
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
                lines[i] = encode(existingKey + u'=' + oneLine);
                replaced = true;
                break;
            }
        }
        if (!replaced)
            lines.insert(insertAt, encode(key + u'=' + oneLine));
    }

    QByteArray contents;
    for (const QByteArray &line : lines)
        contents += line + eol;
    if (!replaceFile(path, contents))
        throwUnableToWrite(path);
}
