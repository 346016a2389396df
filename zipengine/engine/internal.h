// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared between the parts of the engine library; never seen by the program.

#include "zipengine/records.h"

#include <string>

struct stat;

#define ZENGINE_EXPORT extern "C" __attribute__((visibility("default")))

namespace zengine {

// The options held for every ZpArchive until the next ZpSetOptions.
const ZPOPT &heldOptions();
// The compression callbacks given by the last ZpInit (all null before).
const ZIPUSERFUNCTIONS &zipFunctions();

// A plain-English reason for an errno value ("file not found", "permission denied", ...), for
// the message lines of both sides.
std::string reasonFor(int error);

// Opens a file for reading only when it is a regular file, never waiting on a FIFO or touching
// a device: the descriptor (blocking again), or -1 with errno set (EINVAL for another kind).
// `info`, when given, receives the file's status.
int openRegularFile(const char *path, struct stat *info = nullptr);

// Which way Wiz_SingleEntryUnzip reads: the scanner where it can (falling back to libzip on
// anything unusual), or libzip only, the reference the scanner is held equal to.
enum class ReadPath { Fast, LibzipOnly };
int unzipWith(ReadPath path, int ifnc, char **ifnv, int xfnc, char **xfnv, const DCL &dcl,
              const USERFUNCTIONS *functions);

// How many calls the scanner served and how many it left to libzip, since the start.
struct ReadPathCounts
{
    unsigned long served = 0;
    unsigned long declined = 0;
    unsigned long passes = 0; // over a directory
};
ReadPathCounts readPathCounts();

// Forget any cached read-only view of an archive, after ZpArchive changed it.
void forgetArchive(const std::string &path);

} // namespace zengine
