// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/zip_inputs.h"

#include "zipengine/engine/temp_files.h"

#include "zipengine/records.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_map>

namespace zengine {

namespace {

std::vector<std::string> components(const std::string &path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != "." && part != "..")
            parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

std::string joinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

class Collector
{
public:
    Collector(const InputRules &rules, ZipReport &report, InputList &inputs)
        : m_rules(rules), m_report(report), m_inputs(inputs)
    {}

    void named(const std::string &path)
    {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            m_report.warning(path, reasonFor(errno), ZE_OPEN);
            return;
        }
        if (isArchive(st))
            return;
        if (S_ISDIR(st.st_mode)) {
            const std::string stored = storedNameFor(path, false);
            if (!m_rules.junkDir && !stored.empty())
                m_inputs.add(path, stored + "/", st);
            if (m_rules.recurse)
                walk(path, stored.empty() ? std::string() : stored + "/");
            return;
        }
        file(path, storedNameFor(path, m_rules.junkDir), st);
    }

private:
    bool isArchive(const struct stat &st) const
    {
        return m_rules.archiveExists && st.st_dev == m_rules.archiveDev &&
               st.st_ino == m_rules.archiveIno;
    }

    void file(const std::string &path, const std::string &stored, const struct stat &st)
    {
        if (!S_ISREG(st.st_mode)) {
            m_report.warning(path, "not a regular file", ZE_OPEN);
            return;
        }
        // libzip would fail the whole commit on one unreadable input: find it now.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            m_report.warning(path, reasonFor(errno), ZE_OPEN);
            return;
        }
        ::close(fd);
        if (stored.empty()) {
            m_report.warning(path, "no name left to store", ZE_OPEN);
            return;
        }
        m_inputs.add(path, stored, st);
    }

    void walk(const std::string &folder, const std::string &storedPrefix)
    {
        DIR *dir = ::opendir(folder.c_str());
        if (!dir) {
            m_report.warning(folder, reasonFor(errno), ZE_OPEN);
            return;
        }
        std::vector<std::string> names;
        while (const dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            if (name[0] == '.' && !m_rules.system)
                continue;
            names.push_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        const bool archiveFolder = isArchiveFolder(folder);

        for (const std::string &name : names) {
            const std::string path = joinPath(folder, name);
            struct stat st;
            if (::lstat(path.c_str(), &st) != 0) {
                m_report.warning(path, reasonFor(errno), ZE_OPEN);
                continue;
            }
            if (S_ISLNK(st.st_mode)) {
                if (::stat(path.c_str(), &st) != 0) {
                    m_report.warning(path, reasonFor(errno), ZE_OPEN);
                    continue;
                }
                if (S_ISDIR(st.st_mode))
                    continue; // links to folders are not followed
            }
            if (isArchive(st))
                continue;
            if (S_ISDIR(st.st_mode)) {
                if (!m_rules.junkDir)
                    m_inputs.add(path, storedPrefix + name + "/", st);
                walk(path, storedPrefix + name + "/");
                continue;
            }
            pid_t writer = 0;
            if (archiveFolder && isTempFileName(name, writer))
                continue;
            file(path, m_rules.junkDir ? name : storedPrefix + name, st);
        }
    }

    bool isArchiveFolder(const std::string &folder) const
    {
        if (m_rules.archiveDir.empty())
            return false;
        struct stat a, b;
        return ::stat(folder.c_str(), &a) == 0 && ::stat(m_rules.archiveDir.c_str(), &b) == 0 &&
               a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

    const InputRules &m_rules;
    ZipReport &m_report;
    InputList &m_inputs;
};

// Names are kept in blocks of this size; a longer one gets a block of its own.
constexpr size_t NameBlock = 64 << 10;

} // namespace

std::string storedNameFor(const std::string &path, bool junkDir)
{
    const std::vector<std::string> parts = components(path);
    if (parts.empty())
        return std::string();
    if (junkDir) {
        // The bare name is the text after the last "/", even when it is "..".
        const size_t slash = path.find_last_of('/');
        const std::string bare = slash == std::string::npos ? path : path.substr(slash + 1);
        return bare == "." || bare == ".." ? std::string() : bare;
    }
    std::string stored;
    for (const std::string &part : parts) {
        if (!stored.empty())
            stored += '/';
        stored += part;
    }
    return stored;
}

const char *InputList::keep(std::string_view text)
{
    const size_t need = text.size() + 1;
    char *kept;
    if (need > NameBlock / 4) {
        // A long name gets a block of its own; the current one stays for the names after it.
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(need));
        kept = m_blocks.back().get();
    } else {
        if (need > m_left) {
            m_blocks.push_back(std::make_unique_for_overwrite<char[]>(NameBlock));
            m_next = m_blocks.back().get();
            m_left = NameBlock;
        }
        kept = m_next;
        m_next += need;
        m_left -= need;
    }
    std::memcpy(kept, text.data(), text.size());
    kept[text.size()] = '\0';
    return kept;
}

void InputList::add(std::string_view path, std::string_view stored, const struct stat &st)
{
    ZipInput input;
    input.path = keep(path);
    // Mostly the stored name is the end of the path: its bytes are kept once.
    const bool ending =
        stored.size() <= path.size() && path.substr(path.size() - stored.size()) == stored;
    input.storedName = ending ? input.path + (path.size() - stored.size()) : keep(stored);
    input.seen = FileStamp(st);
    items.push_back(input);
}

int collectInputs(const std::vector<const char *> &names, const InputRules &rules,
                  ZipReport &report, InputList &inputs)
{
    inputs = InputList();
    Collector collector(rules, report, inputs);
    for (const char *name : names)
        collector.named(name);
    // One walk of one folder cannot give a stored name twice.
    if (names.size() == 1 && !rules.junkDir)
        return ZE_OK;

    // One entry per stored name: the same file reached twice is taken once; two different
    // files under one name are refused before anything is written.
    std::deque<ZipInput> &items = inputs.items;
    std::unordered_map<std::string_view, size_t> byName;
    byName.reserve(items.size());
    size_t kept = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const ZipInput input = items[i];
        const auto [found, fresh] = byName.try_emplace(input.storedName, kept);
        if (fresh) {
            items[kept++] = input;
            continue;
        }
        const ZipInput &first = items[found->second];
        if (first.seen.dev == input.seen.dev && first.seen.ino == input.seen.ino)
            continue;
        return report.error(std::string("duplicate name ") + input.storedName + ": " + first.path +
                                " and " + input.path,
                            ZE_PARMS);
    }
    items.resize(kept);
    return ZE_OK;
}

} // namespace zengine
