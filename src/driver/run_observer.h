// What a program running the engine in-process is told of a run: each line
// handled, each macro defined, and each input opened, which it may supply
// itself. Nothing watches the runs of kup itself: the observer is null and
// every hook is a single test of it.
#pragma once

#include <string_view>

namespace kup {

struct InputLevel;

/// Watches the runs of a process; the language server's editor view of a
/// template is built from what it is told.
class RunObserver {
 public:
  virtual ~RunObserver() = default;

  /// A line read from `level` was handled: its directive obeyed or its
  /// data expansion about to be written. The modes, the line buffers and
  /// the macro table are as the line left them, except that Skip Mode and
  /// Verbose Mode still hold the line's own values.
  virtual void line_handled(const InputLevel& level) = 0;

  /// A macro named `name` was just defined or redefined.
  virtual void macro_defined(std::string_view name) = 0;

  /// The descriptor to read the input `path` from, open for reading and
  /// handed over to the run, or -1 to open `path` as usual.
  virtual int open_input(std::string_view path) = 0;
};

/// The observer of every later run in the process; null (the default)
/// for none. The driver's line loop leaves its buffered data-line path
/// while one is set, so that every line is handled one at a time.
extern RunObserver* run_observer;

inline void set_run_observer(RunObserver* observer) { run_observer = observer; }

}  // namespace kup
