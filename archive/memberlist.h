// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dostext/codepage.h"
#include "zipengine/callbacks.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QThread;

// The members of an archive as listing lines, kept compactly (a few numbers and the name's
// UTF-8 bytes per member) so that an archive of a million members stays small. The listing
// runs on a thread of its own and the rows arrive in batches while it streams.
class MemberListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit MemberListModel(QObject *parent = nullptr);
    ~MemberListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Reads more about the archive on the listing thread once its members are listed.
    using AfterListing = std::function<QByteArray(const QString &path)>;
    // Lists the archive at `path` afresh; rows already shown are dropped.
    void startListing(const QString &path, const AfterListing &after = {});
    // Blocks until the running listing has ended and every row of it is shown.
    void waitForListing();
    bool isListing() const { return m_thread != nullptr; }
    // Drops every row and hands the memory back; a running listing is abandoned.
    void release();

    // The names of the rows as the engine stores them.
    QString name(int row) const;
    QStringList names() const;
    // The columns of the size field (7 at least), so that its head fits above it.
    void setSizeWidth(int columns);
    // The code page the names are shown in.
    void setNamesPage(dostext::CodePage page);
    // Appends a batch of members (the listing thread's batches arrive here).
    void append(const std::vector<ListingEntry> &entries);

signals:
    // The listing ended with the engine's result and problem lines, and what `after` read.
    void listingFinished(int code, const QStringList &messages, const QByteArray &after);

private:
    struct Row
    {
        uint64_t size;
        quint32 nameOffset;
        quint32 nameLength;
        quint8 month, day, year, hour, minute;
    };
    void stopThread();
    void finishListing(int code, const QStringList &messages, const QByteArray &after);

    std::vector<Row> m_rows;
    QByteArray m_names;
    dostext::CodePage m_page = dostext::CodePage::Cp437;
    int m_sizeWidth = 7;
    QThread *m_thread = nullptr;
    // Shared with the listing thread: set when its rows are no longer wanted.
    std::shared_ptr<std::atomic_bool> m_abandoned;
};
