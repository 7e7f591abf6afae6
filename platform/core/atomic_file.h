#pragma once
// Replacing a file atomically: readers see either the old or the new content,
// never a half-written file, even after a crash or a full disk.
#include <string>
#include <string_view>

namespace platform {

// Writes `data` to a temporary file in the same folder, flushes it to disk,
// renames it over `path` and flushes the folder. An existing file keeps its
// mode; a new one gets `newMode` (subject to the umask). On failure nothing is
// left behind, the old file is untouched, errno is set and false returned.
bool WriteFileAtomically(const std::string& path, std::string_view data, unsigned newMode = 0644);

}  // namespace platform
