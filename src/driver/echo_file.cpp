#include "driver/echo_file.h"

#include <cerrno>

#include "driver/diagnostics.h"
#include "driver/text_format.h"
#include "platform/platform.h"

namespace kup {

EchoFile echo;

void open_echo_file(const std::string& path, std::string_view mode) {
  // The file is created exclusively: the open fails if anything exists at
  // that path, so an existing file is never truncated.
  std::FILE* file = nullptr;
  errno = 0;
  if (path.find('\0') == std::string::npos) file = create_new_file(path.c_str());
  if (file == nullptr && errno == EEXIST)
    fatal_command_line(format("KUP error - attempt to rewrite existing echo file: '%s'\n", path));
  if (file == nullptr) fatal_command_line(format("KUP error - problem to open echo file (%s): '%s'\n", mode, path));
  echo.stream = file;
  echo.write_failed = false;
  echo.name = path;
}

void write_echo_line(std::string_view text) {
  if (echo.stream == nullptr) return;
  if (std::fwrite(text.data(), 1, text.size(), echo.stream) != text.size() || std::fputc('\n', echo.stream) == EOF)
    echo.write_failed = true;
}

bool close_echo_file() {
  if (echo.stream == nullptr) return !echo.write_failed;
  if (std::ferror(echo.stream)) echo.write_failed = true;
  if (std::fclose(echo.stream) != 0) echo.write_failed = true;
  echo.stream = nullptr;
  return !echo.write_failed;
}

void reset_echo_file() {
  close_echo_file();
  echo = EchoFile{};
}

}  // namespace kup
