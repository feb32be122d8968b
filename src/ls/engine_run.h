// One run of kup's engine on an open document, in the server's process,
// and what the run is seen to do: every line with the macros it named and
// their values, every definition where it was made, the faults, the
// skipped lines and the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ls/documents.h"
#include "ls/settings.h"

namespace kup::ls {

/// A field of a line that named a macro when the line was handled.
struct NameUse {
  std::uint32_t begin = 0;  ///< byte offsets in the line
  std::uint32_t end = 0;
  /// The definition in effect (RunResult::definitions), or -1.
  std::int32_t definition = -1;
  /// The macro's name and value then, when the definition in effect does
  /// not give them (a list's composed value, a predefined macro):
  /// RunResult::seen, or -1.
  std::int32_t seen = -1;
};

/// The name and value a use saw, kept for the uses whose definition does
/// not hold them.
struct SeenValue {
  std::string name;
  std::string value;
};

/// What the runs of one line did (a file included twice is read twice:
/// the uses are the last reading's, and the line is skipped when every
/// reading skipped it).
struct LineRecord {
  bool read = false;
  bool skipped = true;
  bool directive = false;
  std::uint64_t order = 0;  ///< when it was last handled, counted with the definitions
  /// The uses of its last reading: RunResult::uses from first_use on.
  std::uint32_t first_use = 0;
  std::uint32_t use_count = 0;
};

/// A definition: where it was made (an empty file and line 0 for the
/// command line and the predefined macros) and the value it gave.
struct Definition {
  std::string name;
  std::string file;
  long line = 0;
  /// The byte of the line where the piece that made it begins: 0 but in
  /// a line longer than the engine reads at once.
  std::uint32_t column = 0;
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
  /// The uses of every line, one line's after another's.
  std::vector<NameUse> uses;
  /// What the uses that have a `seen` index saw.
  std::vector<SeenValue> seen;
  std::vector<Fault> faults;
  std::string output;
  /// Every file the run read, by absolute path: when one of them changes,
  /// the run is out of date.
  std::vector<std::string> inputs;

  /// The records of a file's lines, or null.
  const std::vector<LineRecord>* lines_of(std::string_view path) const;
  /// The uses of a line.
  std::span<const NameUse> uses_of(const LineRecord& record) const {
    return std::span<const NameUse>(uses).subspan(record.first_use, record.use_count);
  }
  /// The name a use replaced.
  std::string_view name_of(const NameUse& use) const {
    return use.seen >= 0 ? seen[static_cast<std::size_t>(use.seen)].name
                         : definitions[static_cast<std::size_t>(use.definition)].name;
  }
  /// The value a use saw.
  const std::string& value_of(const NameUse& use) const {
    return use.seen >= 0 ? seen[static_cast<std::size_t>(use.seen)].value
                         : definitions[static_cast<std::size_t>(use.definition)].value;
  }
  /// Empties the result, keeping the storage of its vectors and texts for
  /// the next run of the same document.
  void clear();
};

/// What every run of the server shares.
struct RunContext {
  const DocumentMap& documents;
  const Settings& settings;
  std::string root;  ///< the working folder of the runs, absolute
};

/// Runs kup on `document` as its one input, the files it opens read from
/// the open documents first, then from disk, into `result`, whose storage
/// (that of the document's last run) it reuses. Reads nothing from the
/// server's standard input and writes nothing to its standard output.
void run_document(const Document& document, const RunContext& context, RunResult& result);

/// The path a run names `path` by: relative to `root` when it lies below.
std::string run_path(std::string_view path, std::string_view root);

/// Removes every KUP_ variable from the server's environment, so that only
/// the settings reach the runs.
void clear_kup_environment();

}  // namespace kup::ls
