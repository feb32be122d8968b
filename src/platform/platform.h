// The calls to the operating system: files by descriptor, the standard
// streams, the local time. Everything that differs between POSIX systems
// and Windows is here and nowhere else. Files are always handled as bytes:
// no newline translation on Windows, so every platform reads and writes
// the same bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>

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

/// Makes standard input, output and error carry bytes unchanged (Windows
/// opens them in text mode; elsewhere there is nothing to do).
void use_binary_standard_streams();

/// The broken-down local time of `seconds` since the epoch; false if the
/// time cannot be represented.
bool local_time_parts(long long seconds, std::tm& out);

}  // namespace kup
