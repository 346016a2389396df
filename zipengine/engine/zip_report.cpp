// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/zip_report.h"

#include "zipengine/engine/internal.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace zengine {

void ZipReport::print(const std::string &line)
{
    const DLLPRNT print = zipFunctions().print;
    if (!print)
        return;
    // The callback takes a mutable buffer; hand it a private copy.
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    print(text.data(), static_cast<unsigned long>(line.size()));
}

void ZipReport::warning(const std::string &name, const std::string &reason, int code)
{
    print("zip warning: " + name + ": " + reason + "\n");
    if (!m_first)
        m_first = code;
}

int ZipReport::error(const std::string &reason, int code)
{
    print("zip error: " + reason + "\n");
    if (!m_first)
        m_first = code;
    return code;
}

} // namespace zengine
