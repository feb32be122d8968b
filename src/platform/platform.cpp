#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kup {

#ifdef _WIN32

namespace {
/// The most bytes one _read or _write call takes (its count is an int).
constexpr std::size_t kMaxTransfer = 1u << 30;

/// After a failed write on `fd`: whether it failed because the reader of
/// its pipe has gone away. The system reports that under several errors,
/// not all of which the C library turns into EPIPE; some come out as
/// EINVAL, which a write of valid bytes on a pipe gives for no other reason.
bool pipe_reader_gone(int fd) {
  if (errno == EPIPE) return true;
  switch (_doserrno) {
    case ERROR_NO_DATA:
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED:
      return true;
  }
  return errno == EINVAL && ::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) == FILE_TYPE_PIPE;
}
}  // namespace

int open_for_reading(const char* path) { return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT); }

std::FILE* create_new_file(const char* path) {
  const int fd = ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) ::_close(fd);
  return file;
}

std::ptrdiff_t read_bytes(int fd, char* data, std::size_t size) {
  return ::_read(fd, data, static_cast<unsigned>(size < kMaxTransfer ? size : kMaxTransfer));
}

std::ptrdiff_t write_bytes(int fd, const char* data, std::size_t size) {
  const int done = ::_write(fd, data, static_cast<unsigned>(size < kMaxTransfer ? size : kMaxTransfer));
  if (done < 0 && pipe_reader_gone(fd)) errno = EPIPE;
  return done;
}

void close_descriptor(int fd) { ::_close(fd); }

bool is_absolute_path(std::string_view path) {
  if (!path.empty() && is_folder_separator(path[0])) return true;
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return drive;
}

bool is_folder_separator(char c) { return c == '/' || c == '\\'; }

bool is_directory(const char* path) {
  const DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool replace_file(const char* from, const char* to) {
  return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

long process_id() { return static_cast<long>(::_getpid()); }

void use_binary_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) ::_setmode(fd, _O_BINARY);
}

bool local_time_parts(long long seconds, std::tm& out) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  return ::localtime_s(&out, &t) == 0;
}

#else

int open_for_reading(const char* path) { return ::open(path, O_RDONLY | O_CLOEXEC); }

std::FILE* create_new_file(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "w");
  if (file == nullptr) ::close(fd);
  return file;
}

std::ptrdiff_t read_bytes(int fd, char* data, std::size_t size) { return ::read(fd, data, size); }

std::ptrdiff_t write_bytes(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }

void close_descriptor(int fd) { ::close(fd); }

bool is_absolute_path(std::string_view path) { return !path.empty() && path[0] == '/'; }

bool is_folder_separator(char c) { return c == '/'; }

bool is_directory(const char* path) {
  struct stat status;
  return ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

bool replace_file(const char* from, const char* to) { return std::rename(from, to) == 0; }

long process_id() { return static_cast<long>(::getpid()); }

void use_binary_standard_streams() {}

bool local_time_parts(long long seconds, std::tm& out) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  return ::localtime_r(&t, &out) != nullptr;
}

#endif

}  // namespace kup
