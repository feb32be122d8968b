#include "input/search_path.h"

#include <string>

#include "driver/environment.h"
#include "platform/platform.h"

namespace kup {

namespace {

/// The path of `path` inside `folder`, kept between calls so that the
/// path of the file found outlives the search.
std::string joined;

/// Opens `path` inside `folder`, joined with a slash, which Windows takes
/// too: the same text names the file on every platform.
int open_joined(const std::string& folder, std::string_view path) {
  joined.assign(folder);
  if (!is_folder_separator(joined.back())) joined += '/';
  joined.append(path);
  return open_for_reading(joined.c_str());
}

}  // namespace

int open_path(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return -1;
  const std::string name(path);
  return open_for_reading(name.c_str());
}

int open_on_search_path(std::string_view& path) {
  const int fd = open_path(path);
  if (fd >= 0 || is_absolute_path(path) || path.find('\0') != std::string_view::npos) return fd;
  for (const std::string& folder : settings.search_path) {
    const int found = open_joined(folder, path);
    if (found >= 0) {
      path = joined;
      return found;
    }
  }
  return -1;
}

}  // namespace kup
