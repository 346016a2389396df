// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Member names on the reading side: case folding for lookups and the safe relative path a
// member is extracted to.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zengine {

// The name with every letter mapped to one case, Unicode-aware ("ÄRGER.TXT" and "ärger.txt"
// fold alike). Bytes that are not valid UTF-8 are kept as they are.
std::string foldName(std::string_view utf8);
// The same into `out` (cleared first), to reuse one buffer over many names.
void foldNameInto(std::string_view utf8, std::string &out);

// Which member answers a tried name when several do (stored names equal after case folding
// with foldName, or exact duplicates): the one whose stored name equals the tried name byte for
// byte, else the first in archive order. Delivery hands over this one member, and a
// description save replaces it, so that viewing and saving unedited changes nothing.
// `matches` are the answering members in archive order, `storedName(member)` gives a member's
// stored name (as UTF-8, the form the matching compares). Nothing when `matches` is empty.
template <typename Member, typename StoredName>
std::optional<Member> answeringMember(std::string_view tried, const std::vector<Member> &matches,
                                      StoredName &&storedName)
{
    if (matches.empty())
        return std::nullopt;
    for (const Member &member : matches)
        if (std::string_view(storedName(member)) == tried)
            return member;
    return matches.front();
}

struct TargetPath
{
    std::vector<std::string> parts; // folders, then the file's own name; empty: nothing left
    bool trimmed = false;           // a leading "/", a drive or ".." parts were dropped
};

// Where a member goes below the target folder: "\" of DOS-made archives becomes "/", a
// leading "/" and a drive prefix are stripped, "." and ".." parts dropped. Without
// `keepPaths` only the bare name is kept.
TargetPath targetPath(std::string_view name, bool dosMade, bool keepPaths, bool spaceToUnderscore);

} // namespace zengine
