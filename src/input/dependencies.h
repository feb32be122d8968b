// The dependency record of KUP_DEPFILE: every file a run opened for
// reading, written at the end of the run as a rule that make and Ninja
// read. It is touched only when a file is opened, never per line.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kup {

/// The files opened so far and the temporary file the record goes to.
struct DependencyRecord {
  /// KUP_DEPFILE is set: files are recorded and the file is written.
  bool active = false;
  /// The paths as opened, each once, in the order first opened.
  std::vector<std::string> paths;
  std::unordered_set<std::string> seen;
  /// The temporary file beside the dependency file, created at start-up
  /// and renamed to it at the end.
  std::FILE* temp = nullptr;
  std::string temp_name;
};

extern DependencyRecord dependencies;

/// Creates the temporary file beside `depfile` and starts recording;
/// ends the run at start-up when it cannot be created.
void open_dependency_file(const std::string& depfile);

/// Adds a path just opened for reading, unless it is already recorded.
void add_dependency(std::string_view path);

/// Records `path` when a dependency file is to be written.
inline void record_dependency(std::string_view path) {
  if (dependencies.active) add_dependency(path);
}

/// Writes the rule of `target` and the recorded paths, and renames the
/// temporary file to the dependency file. True when nothing was to be
/// written or all went well.
bool write_dependency_file(const std::string& depfile, const std::string& target);

/// `name` as make reads it: a blank or tab as "\ ", '#' as "\#", '$' as
/// "$$", and the backslashes just before them (or at the end) doubled.
std::string make_escaped(std::string_view name);

/// Forgets the record, removing a temporary file a previous run left.
void reset_dependencies();

}  // namespace kup
