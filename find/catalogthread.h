// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/catalog.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

// A thread of its own with its own connection to the collection index: the window's indexing,
// its queries and the tree's tooltips each read on one, never on the user-interface thread.
class TCatalogThread
{
public:
    // `notice` is called on the thread when the index was found damaged or foreign and begun
    // anew.
    explicit TCatalogThread(const QString &indexFile,
                            std::function<void(const QString &)> notice = {});
    ~TCatalogThread();
    TCatalogThread(const TCatalogThread &) = delete;
    TCatalogThread &operator=(const TCatalogThread &) = delete;

    // Runs `work` on the thread with the index, opened on first use. A damaged index is moved
    // aside and `work` runs once more on the new one. When no index can be had, or the index
    // fails, `failed` is called on the thread with the message instead.
    void post(std::function<void(catalog::Index &)> work,
              std::function<void(const QString &)> failed);

private:
    void runWork(const std::function<void(catalog::Index &)> &work,
                 const std::function<void(const QString &)> &failed);

    void noticeOf(const catalog::Index &index);

    QString m_file;
    std::function<void(const QString &)> m_notice;
    QThread m_thread;
    QObject *m_context; // lives on m_thread; queued work is posted to it
    std::unique_ptr<catalog::Index> m_index;
};
