// The calls to the operating system: files by descriptor, the standard
// streams, the local time. Everything that differs between POSIX systems
// and Windows is here and nowhere else. Files are always handled as bytes:
// no newline translation on Windows, so every platform reads and writes
// the same bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace kup {

/// Opens an existing file for reading, not inherited by child processes;
/// the descriptor, or -1. On Windows a directory cannot be opened at all.
int open_for_reading(const char* path);

/// Creates a file that must not exist yet and opens it for writing; null
/// with errno EEXIST when anything exists at `path`, null with another
/// errno on any other failure.
std::FILE* create_new_file(const char* path);

/// Reads at most `size` bytes: how many were read, 0 at the end of the
/// file, -1 with errno set on failure.
std::ptrdiff_t read_bytes(int fd, char* data, std::size_t size);

/// Writes at most `size` bytes: how many were written, or -1 with errno
/// set on failure (EPIPE when the reader of a pipe has gone away).
std::ptrdiff_t write_bytes(int fd, const char* data, std::size_t size);

void close_descriptor(int fd);

/// The character between the folders of a search path such as KUP_PATH
/// (Windows has ':' in its drive letters).
#ifdef _WIN32
inline constexpr char kPathListSeparator = ';';
#else
inline constexpr char kPathListSeparator = ':';
#endif

/// Whether `path` names a file without regard to the current folder: it
/// begins with a slash (on Windows also a backslash or a drive letter).
bool is_absolute_path(std::string_view path);

/// Whether `c` ends a folder name in a path.
bool is_folder_separator(char c);

/// Whether `path` names an existing folder.
bool is_directory(const char* path);

/// Renames `from` to `to`, replacing a file at `to` in one step; false on
/// failure.
bool replace_file(const char* from, const char* to);

/// The identifier of this process.
long process_id();

/// Makes standard input, output and error carry bytes unchanged (Windows
/// opens them in text mode; elsewhere there is nothing to do).
void use_binary_standard_streams();

/// The broken-down local time of `seconds` since the epoch; false if the
/// time cannot be represented.
bool local_time_parts(long long seconds, std::tm& out);

}  // namespace kup
