// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The entry points of the ID3v2 module (libquorilid3v2.so), the one place TagLib is linked. The
// tag reader (id3/id3v2.h) loads it from the program's folder the first time a file begins with
// an ID3v2 header; the other commands never map TagLib. Plain C: no C++ type and no exception
// crosses the boundary.

#include <cstddef>

extern "C" {

enum QuorilId3v2Result {
    QuorilId3v2Parsed = 0,
    QuorilId3v2NoTag = 1,  // the parser found no tag in the bytes
    QuorilId3v2Failed = 2, // out of memory or an internal fault of the parser
};

enum QuorilId3v2Kind {
    QuorilId3v2TextFrame = 0, // one value for each text the frame holds
    QuorilId3v2CommentFrame = 1,
    QuorilId3v2OtherFrame = 2, // the frame as text
};

// One value of one frame, in the tag's order; the texts are UTF-8 and not terminated.
struct QuorilId3v2Value
{
    char frame[5];    // the frame's name as version 2.4 calls it ("TIT2", "COMM"), NUL-ended
    int kind;         // a QuorilId3v2Kind
    const char *text; // the value; a comment's text
    size_t textSize;
    const char *description; // a comment's description; empty for other frames
    size_t descriptionSize;
};

struct QuorilId3v2Values
{
    const QuorilId3v2Value *values;
    size_t count;
    void *owner; // the module's storage, given back to the release function
};

// Parses the tag in `tag` (header, frames and footer, as a file begins) into `out`, which the
// caller gives back to the release function after a QuorilId3v2Parsed result.
using QuorilId3v2ParseFn = int (*)(const char *tag, size_t size, QuorilId3v2Values *out);
using QuorilId3v2ReleaseFn = void (*)(QuorilId3v2Values *values);
// The name of ID3v1 genre number `index` as the parser knows it (the extended list), UTF-8,
// cut to `size` - 1 bytes and NUL-ended; returns its length, 0 when the number has no name.
using QuorilId3v2GenreFn = size_t (*)(int index, char *buffer, size_t size);

#define QUORIL_ID3V2_PARSE_SYMBOL "quorilId3v2Parse"
#define QUORIL_ID3V2_RELEASE_SYMBOL "quorilId3v2Release"
#define QUORIL_ID3V2_GENRE_SYMBOL "quorilId3v2Genre"
#define QUORIL_ID3V2_LIBRARY "libquorilid3v2.so"
}
