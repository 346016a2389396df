// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "formats/formats.h"

#include <QList>

// The two readers behind formats.h: libarchive in this process and the external helper unar.
// Both hand over members' bytes in pieces, members in archive order.
namespace formats {

enum class Piece { More, EnoughOfMember, Stop };

// Receives the bytes of one member; EnoughOfMember ends that member (what it has is kept),
// Stop ends the whole read.
using OnData = std::function<Piece(int member, const char *data, size_t size)>;
// Called once after each member that was begun: an empty error when it was read whole (or to
// the point its receiver wanted).
using OnMemberDone = std::function<void(int member, const QString &error)>;

// `members` are positions in listing.members, in any order; returns an error of the archive
// as a whole (empty when none).
using ReadMembers = QString (*)(const QString &path, const Listing &listing,
                                const QList<int> &members, const OnData &onData,
                                const OnMemberDone &onDone);

namespace libarchive {
bool reads(Format format);
Listing list(const QString &path);
QString read(const QString &path, const Listing &listing, const QList<int> &members,
             const OnData &onData, const OnMemberDone &onDone);
} // namespace libarchive

namespace helper {
// "Reading this ARJ archive needs the program unar ..."
QString missingMessage(Format format);
Listing list(const QString &path, Format format);
QString read(const QString &path, const Listing &listing, const QList<int> &members,
             const OnData &onData, const OnMemberDone &onDone);
} // namespace helper

// Every letter to one case, character by character: upper then lower joins letters with
// several lower forms (the long s, the Kelvin sign), as the zip engine's lookups do.
QString foldedName(const QString &name);

// The reader that produced a listing.
ReadMembers readerOf(const Listing &listing);

} // namespace formats
