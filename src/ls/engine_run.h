// One run of kup's engine on an open document, in the server's process,
// and what the run is seen to do: every line with the macros it named and
// their values, every definition where it was made, the faults, the
// skipped lines and the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ls/documents.h"
#include "ls/settings.h"

namespace kup::ls {

/// A field of a line that named a macro when the line was handled.
struct NameUse {
  std::size_t begin = 0;  ///< byte offsets in the line
  std::size_t end = 0;
  std::string name;
  std::string value;    ///< the macro's value then
  int definition = -1;  ///< the definition in effect (RunResult::definitions), or -1
};

/// What the runs of one line did (a file included twice is read twice:
/// the uses are the last reading's, and the line is skipped when every
/// reading skipped it).
struct LineRecord {
  bool read = false;
  bool skipped = true;
  bool directive = false;
  std::uint64_t order = 0;  ///< when it was last handled, counted with the definitions
  std::vector<NameUse> uses;
};

/// A definition: where it was made (an empty file and line 0 for the
/// command line and the predefined macros) and the value it gave.
struct Definition {
  std::string name;
  std::string file;
  long line = 0;
  std::string value;
  std::uint64_t order = 0;
};

/// A file and line of a fault; the file absolute where the run's input
/// is known, else as the run named it.
struct FaultLocation {
  std::string file;
  long line = 0;
};

/// An error or a warning of the run.
struct Fault {
  bool error = false;
  std::string message;
  std::vector<FaultLocation> where;  ///< innermost first; empty for the command line
};

/// Everything one run is seen to do.
struct RunResult {
  std::string document;  ///< the absolute path of the document run
  int status = 0;
  /// The lines of the open documents the run read, by absolute path,
  /// indexed by line number from 0.
  std::map<std::string, std::vector<LineRecord>, std::less<>> lines;
  std::vector<Definition> definitions;
  std::vector<Fault> faults;
  std::string output;
  /// Every file the run read, by absolute path: when one of them changes,
  /// the run is out of date.
  std::vector<std::string> inputs;

  /// The records of a file's lines, or null.
  const std::vector<LineRecord>* lines_of(std::string_view path) const;
};

/// What every run of the server shares.
struct RunContext {
  const DocumentMap& documents;
  const Settings& settings;
  std::string root;  ///< the working folder of the runs, absolute
};

/// Runs kup on `document` as its one input, the files it opens read from
/// the open documents first, then from disk. Reads nothing from the
/// server's standard input and writes nothing to its standard output.
RunResult run_document(const Document& document, const RunContext& context);

/// The path a run names `path` by: relative to `root` when it lies below.
std::string run_path(std::string_view path, std::string_view root);

/// Removes every KUP_ variable from the server's environment, so that only
/// the settings reach the runs.
void clear_kup_environment();

}  // namespace kup::ls
