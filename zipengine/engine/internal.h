#pragma once
// Shared between the parts of the engine library; never seen by the program.

#include "zipengine/records.h"

#include <string>

#define ZENGINE_EXPORT extern "C" __attribute__((visibility("default")))

namespace zengine {

// The options held for every ZpArchive until the next ZpSetOptions.
const ZPOPT &heldOptions();
// The compression callbacks given by the last ZpInit (all null before).
const ZIPUSERFUNCTIONS &zipFunctions();

// A plain-English reason for an errno value ("file not found", "permission denied", ...), for
// the message lines of both sides.
std::string reasonFor(int error);

// Forget any cached read-only view of an archive, after ZpArchive changed it.
void forgetArchive(const std::string &path);

} // namespace zengine
