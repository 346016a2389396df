// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// The machine's data volumes, as the "Computer" node of a folder tree lists them.
namespace volumes {

struct Volume
{
    QString rootPath; // mount point
    QString device;
    QString fsType;
    QString label;     // file-system label, may be empty
    bool isDir = true; // the mount point is a folder (bind mounts of single files are not)
    bool ready = true;

    bool operator==(const Volume &other) const = default;
};

// Every mounted volume as the system reports it.
QList<Volume> mounted();

// The volumes that hold user data, ordered by mount point, one per mount point: pseudo file
// systems (proc, sysfs, tmpfs, cgroup, ...), snap images, container overlays other than "/",
// mounts below /proc, /sys, /dev and /run (except /run/media) and mount points that are
// not folders are left out. The file-system root "/" itself is left out too: the tree has a
// node of its own for it.
QList<Volume> dataVolumes(const QList<Volume> &all);

struct Changes
{
    QList<Volume> added;
    QList<Volume> removed;
    QList<Volume> changed; // same mount point, other device, type, label or readiness
    bool isEmpty() const { return added.isEmpty() && removed.isEmpty() && changed.isEmpty(); }
};

// What differs between two volume lists, matched by mount point.
Changes compare(const QList<Volume> &before, const QList<Volume> &after);

// The node label of a volume: its label, or its mount point when it has none.
QString displayName(const Volume &volume);

} // namespace volumes
