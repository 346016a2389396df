// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/backend.h"

#include "common/pathbytes.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

// lsar and unar, run with an argument list (never through a shell), each run bounded in time
// and in the bytes it may hand back.
namespace formats::helper {

namespace {

// The archive as the helper is given it: an absolute path, or, when the name holds bytes that
// are not UTF-8 (which an argument list cannot carry exactly), a link to it with a plain name.
class HelperPath
{
public:
    explicit HelperPath(const QString &path)
    {
        const QString absolute =
            path.startsWith(QLatin1Char('/')) ? path : pathbytes::currentDir() + u'/' + path;
        if (!pathbytes::hasRawBytes(absolute)) {
            m_path = absolute;
            return;
        }
        if (m_dir.isValid()) {
            const QString link = m_dir.path() + QStringLiteral("/archive");
            if (::symlink(pathbytes::encode(absolute).constData(), QFile::encodeName(link)) == 0)
                m_path = link;
        }
    }
    const QString &path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void startHelper(QProcess &process, const QString &program, const QStringList &args)
{
    process.setProgram(program);
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QIODevice::ReadOnly);
}

void stopHelper(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
    }
}

QString helperFailure(QProcess &process, const QString &program)
{
    if (process.error() == QProcess::FailedToStart)
        return QStringLiteral("%1 could not be started").arg(program);
    if (process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("%1 stopped unexpectedly").arg(program);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    const QString last = err.section(QLatin1Char('\n'), -1).trimmed();
    return last.isEmpty() ? QStringLiteral("%1 could not read the archive").arg(program)
                          : QStringLiteral("%1 could not read the archive (%2)").arg(program, last);
}

Member memberOf(const QJsonObject &object, int position)
{
    Member m;
    m.index = object.value(QLatin1String("XADIndex")).toInt(position);
    m.name = object.value(QLatin1String("XADFileName")).toString();
    m.sizeKnown = object.contains(QLatin1String("XADFileSize"));
    m.size = uint64_t(std::max(0.0, object.value(QLatin1String("XADFileSize")).toDouble()));
    m.compressedSize =
        uint64_t(std::max(0.0, object.value(QLatin1String("XADCompressedSize")).toDouble()));
    const QString date = object.value(QLatin1String("XADLastModificationDate")).toString();
    const QDateTime time = QDateTime::fromString(date, QStringLiteral("yyyy-MM-dd HH:mm:ss t"));
    const QDateTime plain =
        time.isValid()
            ? time
            : QDateTime::fromString(date.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m.mtime = plain.isValid() ? plain.toSecsSinceEpoch() : 0;
    m.folder = object.value(QLatin1String("XADIsDirectory")).toInt() != 0 ||
               object.value(QLatin1String("XADIsDirectory")).toBool();
    m.link = object.contains(QLatin1String("XADLinkDestination")) ||
             object.value(QLatin1String("XADIsLink")).toInt() != 0 ||
             object.value(QLatin1String("XADIsHardLink")).toInt() != 0;
    if (m.folder && !m.name.endsWith(QLatin1Char('/')))
        m.name += QLatin1Char('/');
    return m;
}

} // namespace

QString missingMessage(Format format)
{
    return QStringLiteral("Reading this %1 archive needs the program unar, which is not "
                          "installed (Debian package \"unar\").")
        .arg(displayName(format));
}

Listing list(const QString &path, Format format)
{
    Listing listing;
    listing.helper = true;
    if (!helperAvailable()) {
        listing.error = missingMessage(format);
        return listing;
    }
    const HelperPath archive(path);
    QProcess process;
    startHelper(process, QStringLiteral("lsar"), {QStringLiteral("-j"), archive.path()});
    QByteArray json;
    const QDeadlineTimer deadline(HelperTimeoutMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired() &&
           json.size() <= HelperListingLimit) {
        process.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 1000)));
        json += process.readAllStandardOutput();
    }
    json += process.readAllStandardOutput();
    if (process.state() != QProcess::NotRunning) {
        stopHelper(process);
        listing.error = json.size() > HelperListingLimit
                            ? QStringLiteral("the archive lists too many members")
                            : QStringLiteral("lsar took too long to read the archive");
        return listing;
    }
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 ||
        !document.isObject()) {
        listing.error = helperFailure(process, QStringLiteral("lsar"));
        return listing;
    }
    const QJsonArray contents = document.object().value(QLatin1String("lsarContents")).toArray();
    for (qsizetype i = 0; i < contents.size(); ++i) {
        const QJsonObject object = contents.at(i).toObject();
        // Resource forks of Macintosh archives are not files of their own here.
        if (object.value(QLatin1String("XADIsResourceFork")).toInt() != 0)
            continue;
        listing.members.append(memberOf(object, int(i)));
    }
    return listing;
}

namespace {

// unar writing to its standard output does not check a member's checksum: lsar's test does.
bool verified(const QString &archive, const Member &member)
{
    QProcess process;
    startHelper(
        process, QStringLiteral("lsar"),
        {QStringLiteral("-t"), QStringLiteral("-i"), archive, QString::number(member.index)});
    if (!process.waitForFinished(HelperTimeoutMs)) {
        stopHelper(process);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Runs unar for one member, its bytes arriving on the standard output.
Piece readOne(const QString &archive, const Member &member, int position, const OnData &onData,
              const OnMemberDone &onDone)
{
    QProcess process;
    startHelper(process, QStringLiteral("unar"),
                {QStringLiteral("-o"), QStringLiteral("-"), QStringLiteral("-q"),
                 QStringLiteral("-nr"), QStringLiteral("-i"), archive,
                 QString::number(member.index)});
    const QDeadlineTimer deadline(HelperTimeoutMs);
    Piece next = Piece::More;
    while (next == Piece::More && !deadline.hasExpired()) {
        const bool running = process.state() != QProcess::NotRunning;
        if (running)
            process.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 1000)));
        const QByteArray data = process.readAllStandardOutput();
        if (!data.isEmpty())
            next = onData(position, data.constData(), size_t(data.size()));
        else if (!running)
            break;
    }
    if (next == Piece::Stop) {
        stopHelper(process);
        return next;
    }
    if (next == Piece::EnoughOfMember) {
        stopHelper(process);
        onDone(position, QString());
        return Piece::More;
    }
    if (process.state() != QProcess::NotRunning) {
        stopHelper(process);
        onDone(position, QStringLiteral("unar took too long to read it"));
        return Piece::More;
    }
    const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        onDone(position, helperFailure(process, QStringLiteral("unar")));
    else
        onDone(position, verified(archive, member) ? QString()
                                                   : QStringLiteral("the member is damaged (its "
                                                                    "checksum does not match)"));
    return Piece::More;
}

} // namespace

QString read(const QString &path, const Listing &listing, const QList<int> &members,
             const OnData &onData, const OnMemberDone &onDone)
{
    if (!helperAvailable())
        return missingMessage(Format::Sfx);
    const HelperPath archive(path);
    QList<int> ordered = members;
    std::sort(ordered.begin(), ordered.end());
    for (int position : ordered)
        if (readOne(archive.path(), listing.members.at(position), position, onData, onDone) ==
            Piece::Stop)
            break;
    return QString();
}

} // namespace formats::helper
