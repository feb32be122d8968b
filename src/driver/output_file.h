// KUP_OUTPUT: the run's output written to a file rather than to standard
// output, through a temporary file beside it that replaces it only when
// the run succeeds, so that the file is never seen half written.
#pragma once

#include <cstdio>
#include <string>

namespace kup {

/// The file the output goes to and the temporary file it is written to.
struct OutputFile {
  /// KUP_OUTPUT; empty when the output goes to standard output.
  std::string path;
  /// The temporary file beside `path`, created at start-up.
  std::FILE* temp = nullptr;
  std::string temp_name;
  /// The descriptor of standard output while the output goes to the
  /// temporary file; -1 before.
  int standard_fd = -1;
};

extern OutputFile output_file;

/// Creates the temporary file beside `path`; ends the run at start-up when
/// it cannot be created or `path` is a folder.
void open_output_file(const std::string& path);

/// From now on the run's output goes to the temporary file (once the
/// informational texts, which go to standard output, are out of the way).
void send_output_to_file();

/// Whether the run's output goes to KUP_OUTPUT's file.
inline bool output_goes_to_file() { return output_file.temp != nullptr; }

/// At the end of the run, once the output is flushed: standard output is
/// given back, and the temporary file replaces the file when `keep` is
/// true and the output was sent to it, and is removed otherwise. False
/// when it was to replace the file and could not.
bool finish_output_file(bool keep);

/// Forgets the file of a previous run, removing its temporary file.
void reset_output_file();

}  // namespace kup
