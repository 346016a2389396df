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

std::string reasonFor(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "file not found";
    case EACCES:
    case EPERM:
        return "permission denied";
    case ENOSPC:
    case EDQUOT:
        return "no space left on device";
    case EROFS:
        return "read-only file system";
    case ENOMEM:
        return "out of memory";
    case EIO:
        return "input/output error";
    case ENAMETOOLONG:
        return "name too long";
    case ELOOP:
        return "too many levels of symbolic links";
    case EISDIR:
        return "is a folder";
    default: {
        std::string text = std::strerror(error);
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
            (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z')))
            text[0] = static_cast<char>(text[0] - 'A' + 'a');
        return text;
    }
    }
}

} // namespace zengine
