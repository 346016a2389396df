// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A module of the program (a shared object that carries a heavy library, loaded only by the
// work that needs it) from the program's own folder. Loaded once and kept for the life of the
// process.
struct ProgramModule
{
    void *handle = nullptr;
    // Why it cannot be used, in words ("the ID3v2 module libquorilid3v2.so is missing beside
    // the program"); empty when it was loaded.
    QString problem;

    // The entry point `symbol`; null when the module has none (problem then says so).
    void *entry(const char *symbol);
};

// `fileName` in the program's folder; `what` names it for messages ("ID3v2", "archive").
ProgramModule loadProgramModule(const char *fileName, const QString &what);
