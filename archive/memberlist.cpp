// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/memberlist.h"

#include "archive/archiveops.h"
#include "zipengine/callbacks.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace {

// Members handed from the listing thread to the model at a time.
constexpr size_t BatchSize = 4096;

} // namespace

MemberListModel::MemberListModel(QObject *parent) : QAbstractListModel(parent) {}

MemberListModel::~MemberListModel()
{
    stopThread();
}

int MemberListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QString MemberListModel::name(int row) const
{
    const Row &r = m_rows.at(size_t(row));
    return QString::fromUtf8(m_names.constData() + r.nameOffset, r.nameLength);
}

QStringList MemberListModel::names() const
{
    QStringList all;
    all.reserve(qsizetype(m_rows.size()));
    for (int i = 0; i < rowCount(); ++i)
        all.append(name(i));
    return all;
}

QVariant MemberListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const Row &r = m_rows[size_t(index.row())];
    ListingEntry entry;
    entry.size = r.size;
    entry.month = r.month;
    entry.day = r.day;
    entry.year = r.year;
    entry.hour = r.hour;
    entry.minute = r.minute;
    entry.name = ArchiveOps::displayName(name(index.row()), m_page);
    const QString line = listingLine(entry);
    if (m_sizeWidth <= 7)
        return line;
    const QString digits = QString::number(r.size);
    return digits.rightJustified(m_sizeWidth) + line.mid(std::max<qsizetype>(7, digits.size()));
}

void MemberListModel::setSizeWidth(int columns)
{
    if (columns == m_sizeWidth)
        return;
    m_sizeWidth = columns;
    if (!m_rows.empty())
        emit dataChanged(index(0), index(rowCount() - 1));
}

void MemberListModel::setNamesPage(dostext::CodePage page)
{
    if (page == m_page)
        return;
    m_page = page;
    if (!m_rows.empty())
        emit dataChanged(index(0), index(rowCount() - 1));
}

void MemberListModel::append(const std::vector<ListingEntry> &entries)
{
    if (entries.empty())
        return;
    beginInsertRows({}, rowCount(), rowCount() + int(entries.size()) - 1);
    for (const ListingEntry &e : entries) {
        const QByteArray utf8 = e.name.toUtf8();
        m_rows.push_back(Row{e.size, quint32(m_names.size()), quint32(utf8.size()), quint8(e.month),
                             quint8(e.day), quint8(e.year), quint8(e.hour), quint8(e.minute)});
        m_names.append(utf8);
    }
    endInsertRows();
}

void MemberListModel::stopThread()
{
    if (m_abandoned)
        m_abandoned->store(true);
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
}

void MemberListModel::finishListing(int code, const QStringList &messages, const QByteArray &after)
{
    stopThread();
    emit listingFinished(code, messages, after);
}

void MemberListModel::release()
{
    stopThread();
    beginResetModel();
    std::vector<Row>().swap(m_rows);
    m_names = QByteArray();
    endResetModel();
}

void MemberListModel::startListing(const QString &path, const AfterListing &after)
{
    release();
    auto abandoned = std::make_shared<std::atomic_bool>(false);
    m_abandoned = abandoned;
    QPointer<MemberListModel> self(this);
    // Batches and the end are queued to this model; one from an abandoned listing is dropped.
    const auto deliver = [self, abandoned](auto call) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, abandoned, call] {
                if (self && !abandoned->load())
                    call(*self);
            },
            Qt::QueuedConnection);
    };
    m_thread = QThread::create([path, after, abandoned, deliver] {
        std::vector<ListingEntry> batch;
        QStringList messages;
        const auto flush = [&] {
            deliver([rows = std::move(batch)](MemberListModel &m) { m.append(rows); });
            batch = {};
        };
        const int code = ArchiveOps::listMembers(
            path,
            [&](const ListingEntry &entry) {
                if (abandoned->load())
                    return;
                batch.push_back(entry);
                if (batch.size() >= BatchSize)
                    flush();
            },
            messages);
        flush();
        const QByteArray more = after && !abandoned->load() ? after(path) : QByteArray();
        deliver(
            [code, messages, more](MemberListModel &m) { m.finishListing(code, messages, more); });
    });
    m_thread->start();
}

void MemberListModel::waitForListing()
{
    if (m_thread)
        m_thread->wait();
    QCoreApplication::sendPostedEvents(this);
}
