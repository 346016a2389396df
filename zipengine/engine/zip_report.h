// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How ZpArchive reports: one line per problem through the print callback of the table given
// with ZpInit, and the result code of the first problem.

#include "zipengine/engine/internal.h"

#include <string>

namespace zengine {

class ZipReport
{
public:
    // "zip warning: <name>: <reason>" — the input is left out, the run goes on.
    void warning(const std::string &name, const std::string &reason, int code);
    // "zip error: <reason>" — the run stops with `code`.
    int error(const std::string &reason, int code);

    // Code of the first problem reported, 0 when there was none.
    int firstProblem() const { return m_first; }

private:
    void print(const std::string &line);
    int m_first = 0;
};

} // namespace zengine
