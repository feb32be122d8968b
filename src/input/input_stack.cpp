#include "input/input_stack.h"

#include <utility>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/environment.h"
#include "driver/output.h"
#include "driver/run_observer.h"
#include "driver/text_format.h"
#include "input/dependencies.h"
#include "input/search_path.h"
#include "macros/macro_table.h"
#include "platform/platform.h"

namespace kup {

InputStack inputs;

static_assert(kMaxPiece <= kMaxReadLine, "a reader hands out pieces of the loop's length");

namespace {

/// A descriptor that is closed when the run ends before it was handed on.
class OpenedFile {
 public:
  ~OpenedFile() {
    if (fd_ >= 0) close_descriptor(fd_);
  }
  void take(int fd) { fd_ = fd; }
  bool is_open() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

/// The loop check: a path already open below the top is refused outside
/// the command-line phase.
void check_loop(std::string_view path) {
  for (int i = inputs.file_level - 1; i >= 0; --i) {
    if (inputs.levels[i].file_name != path) continue;
    if (startup.command_line_phase) return;
    fatal(format("KUP error - attempt to loop include files: '%s'\n", path));
  }
}

}  // namespace

void close_stream(InputLevel& level) {
  if (level.is_stdin || level.stream_closed) return;
  close_descriptor(level.reader->fd());
  level.reader->detach();
  level.stream_closed = true;
}

void set_stdin_fd(int fd) { inputs.stdin_fd = fd; }

void push_standard_input() {
  inputs.file_level = 0;
  InputLevel& level = inputs.levels[0];
  inputs.stdin_reader.attach(inputs.stdin_fd);
  level.reader = &inputs.stdin_reader;
  level.is_stdin = true;
  level.stream_closed = false;
  level.file_name = "Standard Input";
  level.tag_name = "Standard Input";
  level.line_count = 0;
  level.cond_depth_at_open = 0;
  level.continued_pieces = 0;
  level.piece_continues = false;
}

void open_input(std::string_view path, int depth, std::string_view mode) {
  if (path.empty()) report_missing_file_name();
  // With KUP_PATH the file is found first, so that the checks see the
  // path that opened.
  // An observer may supply the input itself (an editor's unsaved text).
  OpenedFile file;
  if (run_observer != nullptr) [[unlikely]]
    file.take(run_observer->open_input(path));
  const bool searched = !file.is_open() && !settings.search_path.empty();
  if (searched) file.take(open_on_search_path(path));
  if (inputs.file_level >= 1) check_loop(path);
  if (inputs.file_level == kMaxInputLevels - 1)
    fatal(format("KUP error - maximum depth of file inclusion reached: %d\n", kMaxInputLevels));
  if (!searched && !file.is_open()) file.take(open_path(path));
  if (!file.is_open()) fatal(format("KUP error - problem to open input file (%s): '%s'\n", mode, path));
  record_dependency(path);
  const int index = ++inputs.file_level;
  InputLevel& level = inputs.levels[index];
  level.reader = &inputs.file_readers[index];
  level.reader->attach(file.release());
  level.is_stdin = false;
  level.stream_closed = false;
  level.file_name.assign(path);
  level.tag_name.assign(path);
  level.line_count = 0;
  level.cond_depth_at_open = depth;
  level.continued_pieces = 0;
  level.piece_continues = false;
}

void close_input(int depth) {
  InputLevel& level = top_level();
  close_stream(level);
  if (level.cond_depth_at_open != depth) fatal("KUP error - unbalanced if/endif\n");
  if (modes.verbose)
    err_write(format("\n%s(FILE) -> closing at line %4d of '%s'\n", line.trace_prefix,
                     level.line_count, level.tag_name));
  --inputs.file_level;
}

bool read_level_piece(InputLevel& level, std::string_view& piece) {
  switch (level.reader->next_line(piece, kMaxPiece)) {
    case ReadStatus::Piece:
      return true;
    case ReadStatus::End:
      return false;
    case ReadStatus::Error:
      break;
  }
  fatal(format("KUP error - problem to read input file: '%s'\n", level.file_name));
}

bool read_line(std::string_view& line, int depth) {
  for (;;) {
    if (read_level_piece(top_level(), line)) return true;
    if (inputs.file_level == 0) return false;
    close_input(depth);
    if (modes.verbose) trace_processing();
    renew_file_macros();
  }
}

void trace_processing() {
  const InputLevel& top = top_level();
  err_write(format("%s(FILE) -> processing line %4d of '%s'\n", line.trace_prefix, top.line_count,
                   top.tag_name));
}

void renew_file_macros() {
  const InputLevel& top = top_level();
  remove_macro("$F");
  define_macro("$F", top.file_name);
  remove_macro("$T");
  define_macro("$T", top.tag_name);
}

void reset_input_stack() {
  for (int i = inputs.file_level; i >= 0; --i) close_stream(inputs.levels[i]);
  inputs.file_level = -1;
  // Standard input is readable for #ask even when it is no input level.
  inputs.stdin_reader.attach(inputs.stdin_fd);
}

}  // namespace kup
