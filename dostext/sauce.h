// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The SAUCE record that art tools append to a text: an end-of-file byte 0x1A, an optional
// COMNT block of 64-byte comment lines and the 128-byte record starting "SAUCE00".
namespace dostext {

struct Sauce
{
    bool present = false;
    // Text fields read as CP437, trailing blanks and NULs removed.
    QString title, author, group;
    QString date; // "YYYY-MM-DD" when the record's CCYYMMDD is a date, else as stored
    int dataType = 0, fileType = 0;
    int width = 0; // characters per line for character and ANSI files, 0 when not given
    int lines = 0;
    bool iceColors = false; // blink means a bright background
    QString font;
    QStringList comments;
};

struct SplitText
{
    QByteArray body;    // the text without what follows it
    QByteArray trailer; // 0x1A, COMNT block and record, byte for byte; empty without a record
    Sauce sauce;
};

// Splits a text into its body and its SAUCE trailer. A text without a valid record is all body.
SplitText splitSauce(const QByteArray &bytes);

} // namespace dostext
