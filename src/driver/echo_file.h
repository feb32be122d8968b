// The echo file of -e: the directive lines read from standard input,
// copied to a new file that can be given to a later run.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kup {

/// The echo file, open from start-up to the end of the run.
struct EchoFile {
  std::FILE* stream = nullptr;
  /// A write or the close failed; reported when the run ends.
  bool write_failed = false;
  /// The path, as the messages and the run report show it.
  std::string name;
};

extern EchoFile echo;

/// Creates the echo file at `path`; a file that exists is never touched.
/// `mode` is the mode the failure message shows. Ends the run on failure.
void open_echo_file(const std::string& path, std::string_view mode);

/// Writes `text` and a newline to the echo file, if one is open.
void write_echo_line(std::string_view text);

/// Closes the echo file if open; false if any write to it failed.
bool close_echo_file();

/// Closes a leftover echo file and forgets it.
void reset_echo_file();

}  // namespace kup
