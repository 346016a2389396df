// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/backend.h"

#include "common/pathbytes.h"

#include <QFile>

namespace formats {

namespace {

// A solid RAR 4 archive (the flag in its main header): libarchive lists it but cannot read its
// members past the first, so the helper reads it from the start.
bool solidRar4(const QString &path)
{
    QFile file;
    if (!pathbytes::openFile(file, path, QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("Rar!\x1A\x07\x00") && uchar(head[9]) == 0x73 &&
           (uchar(head[10]) & 0x08);
}

Listing relisted(const QString &path, Format format)
{
    return helperAvailable() ? helper::list(path, format) : Listing{};
}

} // namespace

QString foldedName(const QString &name)
{
    QString out = name;
    for (QChar &c : out)
        c = c.toUpper().toLower();
    return out;
}

ReadMembers readerOf(const Listing &listing)
{
    return listing.helper ? &helper::read : &libarchive::read;
}

Listing list(const QString &path, Format format)
{
    if (!libarchive::reads(format) ||
        (format == Format::Rar && helperAvailable() && solidRar4(path)))
        return helper::list(path, format);
    Listing listing = libarchive::list(path);
    // What libarchive cannot read (a solid RAR 4 archive, an old method) the helper may.
    if (!listing.ok()) {
        Listing second = relisted(path, format);
        if (second.ok())
            return second;
    }
    return listing;
}

int answeringMember(const Listing &listing, const QString &tried)
{
    const QString key = foldedName(tried);
    int first = -1;
    for (qsizetype i = 0; i < listing.members.size(); ++i) {
        const Member &m = listing.members.at(i);
        if (m.folder || foldedName(m.name) != key)
            continue;
        if (m.name == tried)
            return int(i);
        if (first < 0)
            first = int(i);
    }
    return first;
}

namespace {

Delivery deliverWith(const QString &path, const Listing &listing, int member, qsizetype limit)
{
    Delivery delivery;
    const Member &m = listing.members.at(member);
    const uint64_t most = m.sizeKnown ? m.size : UnknownSizeLimit;
    QString memberError;
    const OnData onData = [&](int, const char *data, size_t size) {
        if (uint64_t(delivery.bytes.size()) + size > most) {
            memberError = QStringLiteral("the member holds more data than its header says");
            return Piece::Stop;
        }
        const qsizetype room = limit - delivery.bytes.size();
        delivery.bytes.append(data, std::min<qsizetype>(room, qsizetype(size)));
        if (qsizetype(size) >= room) {
            delivery.truncated = qsizetype(size) > room || uint64_t(limit) < most;
            return Piece::EnoughOfMember;
        }
        return Piece::More;
    };
    const OnMemberDone onDone = [&](int, const QString &error) { memberError = error; };
    const QString error = readerOf(listing)(path, listing, {member}, onData, onDone);
    delivery.error = !error.isEmpty() ? error : memberError;
    if (delivery.error.isEmpty() && m.sizeKnown && !delivery.truncated &&
        uint64_t(delivery.bytes.size()) != m.size)
        delivery.error = QStringLiteral("the member is shorter than its header says");
    if (!delivery.error.isEmpty()) {
        delivery.bytes.clear();
        delivery.truncated = false;
    }
    return delivery;
}

} // namespace

Delivery deliver(const QString &path, Format format, const Listing &listing, int member,
                 qsizetype limit)
{
    Delivery delivery = deliverWith(path, listing, member, limit);
    if (delivery.error.isEmpty() || listing.helper)
        return delivery;
    // A member libarchive cannot decode may be one the helper can.
    const Listing second = relisted(path, format);
    const int again = second.ok() ? answeringMember(second, listing.members.at(member).name) : -1;
    if (again < 0)
        return delivery;
    Delivery retried = deliverWith(path, second, again, limit);
    return retried.error.isEmpty() ? retried : delivery;
}

} // namespace formats
