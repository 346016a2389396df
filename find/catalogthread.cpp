// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/catalogthread.h"

#include <QMetaObject>

TCatalogThread::TCatalogThread(const QString &indexFile,
                               std::function<void(const QString &)> notice)
    : m_file(indexFile), m_notice(std::move(notice)), m_context(new QObject)
{
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

TCatalogThread::~TCatalogThread()
{
    // The index belongs to the thread: it is closed there, after the work already queued.
    QMetaObject::invokeMethod(m_context, [this] { m_index.reset(); });
    m_thread.quit();
    m_thread.wait();
}

void TCatalogThread::post(std::function<void(catalog::Index &)> work,
                          std::function<void(const QString &)> failed)
{
    QMetaObject::invokeMethod(m_context, [this, work = std::move(work),
                                          failed = std::move(failed)] { runWork(work, failed); });
}

void TCatalogThread::runWork(const std::function<void(catalog::Index &)> &work,
                             const std::function<void(const QString &)> &failed)
{
    for (int attempt = 0;; ++attempt) {
        try {
            if (!m_index) {
                m_index = std::make_unique<catalog::Index>(m_file);
                noticeOf(*m_index);
            }
            work(*m_index);
            return;
        } catch (const catalog::IndexDamaged &damage) {
            if (attempt > 0 || !m_index) {
                failed(damage.message());
                return;
            }
            try {
                m_index->rebuild(damage.message());
                noticeOf(*m_index);
            } catch (const catalog::IndexError &error) {
                m_index.reset();
                failed(error.message());
                return;
            }
        } catch (const catalog::IndexError &error) {
            failed(error.message());
            return;
        }
    }
}

void TCatalogThread::noticeOf(const catalog::Index &index)
{
    if (m_notice && !index.notice().isEmpty())
        m_notice(index.notice());
}
