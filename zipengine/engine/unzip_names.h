#pragma once
// Member names on the reading side: case folding for lookups and the safe relative path a
// member is extracted to.

#include <string>
#include <string_view>
#include <vector>

namespace zengine {

// The name with every letter mapped to one case, Unicode-aware ("ÄRGER.TXT" and "ärger.txt"
// fold alike). Bytes that are not valid UTF-8 are kept as they are.
std::string foldName(std::string_view utf8);
// The same into `out` (cleared first), to reuse one buffer over many names.
void foldNameInto(std::string_view utf8, std::string &out);

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
