// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/volumes.h"

#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

namespace volumes {

QList<Volume> mounted()
{
    QList<Volume> list;
    const QList<QStorageInfo> infos = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &info : infos) {
        Volume volume;
        volume.rootPath = info.rootPath();
        volume.device = QString::fromLocal8Bit(info.device());
        volume.fsType = QString::fromLatin1(info.fileSystemType());
        volume.label = info.name();
        volume.isDir = QFileInfo(volume.rootPath).isDir();
        volume.ready = info.isReady();
        list.append(volume);
    }
    return list;
}

namespace {

bool isPseudoType(const QString &type, const QString &root)
{
    static const QSet<QString> pseudo = {
        QStringLiteral("proc"),
        QStringLiteral("sysfs"),
        QStringLiteral("tmpfs"),
        QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),
        QStringLiteral("mqueue"),
        QStringLiteral("securityfs"),
        QStringLiteral("debugfs"),
        QStringLiteral("tracefs"),
        QStringLiteral("pstore"),
        QStringLiteral("bpf"),
        QStringLiteral("autofs"),
        QStringLiteral("fusectl"),
        QStringLiteral("configfs"),
        QStringLiteral("hugetlbfs"),
        QStringLiteral("squashfs"),
        QStringLiteral("binfmt_misc"),
        QStringLiteral("efivarfs"),
        QStringLiteral("ramfs"),
        QStringLiteral("rpc_pipefs"),
        QStringLiteral("nsfs"),
        QStringLiteral("selinuxfs"),
        QStringLiteral("nfsd"),
        QStringLiteral("rootfs"),
        QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),
        QStringLiteral("none"),
        QStringLiteral("fuse.portal"),
        QStringLiteral("fuse.gvfsd-fuse"),
    };
    if (type.startsWith(QLatin1String("cgroup")))
        return true;
    if (type == QLatin1String("overlay"))
        return root != QLatin1String("/");
    return pseudo.contains(type);
}

bool isSystemPlace(const QString &root)
{
    static const char *const places[] = {"/proc", "/sys", "/dev", "/run", "/snap"};
    if (root.startsWith(QLatin1String("/run/media/")))
        return false;
    for (const char *place : places) {
        const QLatin1String prefix(place);
        if (root == prefix || root.startsWith(prefix + QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace

QList<Volume> dataVolumes(const QList<Volume> &all)
{
    QList<Volume> result;
    QSet<QString> roots;
    for (const Volume &volume : all) {
        if (volume.rootPath.isEmpty() || volume.rootPath == QLatin1String("/"))
            continue;
        if (!volume.isDir || isPseudoType(volume.fsType, volume.rootPath) ||
            isSystemPlace(volume.rootPath))
            continue;
        // A later mount over the same point hides the earlier one.
        if (roots.contains(volume.rootPath)) {
            for (Volume &known : result) {
                if (known.rootPath == volume.rootPath)
                    known = volume;
            }
            continue;
        }
        roots.insert(volume.rootPath);
        result.append(volume);
    }
    std::sort(result.begin(), result.end(),
              [](const Volume &a, const Volume &b) { return a.rootPath < b.rootPath; });
    return result;
}

Changes compare(const QList<Volume> &before, const QList<Volume> &after)
{
    Changes changes;
    for (const Volume &now : after) {
        const auto old = std::find_if(before.begin(), before.end(),
                                      [&](const Volume &v) { return v.rootPath == now.rootPath; });
        if (old == before.end())
            changes.added.append(now);
        else if (!(*old == now))
            changes.changed.append(now);
    }
    for (const Volume &old : before) {
        const bool kept = std::any_of(after.begin(), after.end(),
                                      [&](const Volume &v) { return v.rootPath == old.rootPath; });
        if (!kept)
            changes.removed.append(old);
    }
    return changes;
}

QString displayName(const Volume &volume)
{
    return volume.label.isEmpty() ? volume.rootPath : volume.label;
}

} // namespace volumes
