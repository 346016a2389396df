// SPDX-License-Identifier: GPL-3.0-or-later
#include "dostext/sauce.h"

#include "dostext/codepage.h"

#include <QDate>

namespace dostext {

namespace {

constexpr qsizetype RecordSize = 128;
constexpr qsizetype CommentLineSize = 64;

QString field(const QByteArray &record, int offset, int size)
{
    QByteArray raw = record.mid(offset, size);
    const qsizetype nul = raw.indexOf('\0');
    if (nul >= 0)
        raw.truncate(nul);
    return decode(raw, CodePage::Cp437).trimmed();
}

unsigned little(const QByteArray &record, int offset, int size)
{
    unsigned value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | uchar(record[offset + i]);
    return value;
}

Sauce parseRecord(const QByteArray &record)
{
    Sauce s;
    s.present = true;
    s.title = field(record, 7, 35);
    s.author = field(record, 42, 20);
    s.group = field(record, 62, 20);
    const QString stamp = field(record, 82, 8);
    const QDate date = QDate::fromString(stamp, QStringLiteral("yyyyMMdd"));
    s.date = date.isValid() ? date.toString(Qt::ISODate) : stamp;
    s.dataType = int(uchar(record[94]));
    s.fileType = int(uchar(record[95]));
    // Character (1) and binary text (5) files say their width; binary text in the file type.
    if (s.dataType == 1 && s.fileType <= 2) {
        s.width = int(little(record, 96, 2));
        s.lines = int(little(record, 98, 2));
    } else if (s.dataType == 5) {
        s.width = s.fileType * 2;
    }
    s.iceColors = (uchar(record[105]) & 1) != 0;
    s.font = field(record, 106, 22);
    return s;
}

} // namespace

SplitText splitSauce(const QByteArray &bytes)
{
    SplitText split;
    split.body = bytes;
    if (bytes.size() < RecordSize)
        return split;
    qsizetype start = bytes.size() - RecordSize;
    const QByteArray record = bytes.mid(start);
    if (!record.startsWith("SAUCE00"))
        return split;
    split.sauce = parseRecord(record);
    const int commentLines = int(uchar(record[104]));
    const qsizetype block = 5 + commentLines * CommentLineSize;
    if (commentLines > 0 && start >= block && bytes.mid(start - block, 5) == "COMNT") {
        start -= block;
        for (int i = 0; i < commentLines; ++i)
            split.sauce.comments << field(bytes, int(start + 5 + i * CommentLineSize),
                                          int(CommentLineSize));
    }
    if (start > 0 && bytes[start - 1] == '\x1a')
        --start;
    split.body = bytes.left(start);
    split.trailer = bytes.mid(start);
    return split;
}

} // namespace dostext
