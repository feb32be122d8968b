// Temporary files written beside a file and then renamed onto it: created
// exclusively under a name nobody can guess, and removed when the process
// is killed by SIGINT, SIGTERM, SIGHUP or SIGPIPE while they exist.
#pragma once

#include <cstdio>
#include <string>

namespace kup {

/// Creates a new file beside `path`, named `path`, a dot, twelve random
/// letters and digits and ".tmp", and opens it for writing. The file is
/// created exclusively: never through a file or link already at the name
/// (another name is drawn then). Returns the stream and sets `name`, or
/// returns null with `name` empty.
std::FILE* create_temporary_file(const std::string& path, std::string& name);

/// The temporary files the process may be killed with, one slot each.
enum class TemporarySlot { Dependencies, Output };

/// Has the file `name` removed when the process is killed by SIGINT,
/// SIGTERM, SIGHUP or SIGPIPE (those that exist on the platform), after
/// which the process dies of that signal. The handlers are installed while
/// some slot holds a file, except for a signal that was ignored: that one
/// stays ignored. `name` must stay valid and unchanged until the slot is
/// released; `fd` is the file's descriptor, closed before the removal where
/// an open file cannot be removed.
void guard_temporary_file(TemporarySlot slot, const char* name, int fd);

/// Closes the temporary file `file`, named `name`, guarded in `slot`; then
/// renames it onto `path` when `keep` is true and its writes and the close
/// went well, and removes it otherwise (a failed rename too). The slot is
/// released; the last one released puts back the signal handlers found
/// before. False when the file was to be kept and was not.
bool finish_temporary_file(TemporarySlot slot, std::FILE* file, const std::string& name, const std::string& path,
                           bool keep);

}  // namespace kup
