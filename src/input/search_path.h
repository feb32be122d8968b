// The folders of KUP_PATH, where a relative input path that does not open
// from the current folder is looked for.
#pragma once

#include <string_view>

namespace kup {

/// Opens `path` from the current folder; -1 on failure. A path holding a
/// NUL byte names no file.
int open_path(std::string_view path);

/// Opens `path` from the current folder or, when it is relative and does
/// not open there, from the first folder of KUP_PATH where it opens;
/// `path` then names the file opened (a view valid until the next call).
/// Returns the descriptor, or -1 when no folder has it.
int open_on_search_path(std::string_view& path);

}  // namespace kup
