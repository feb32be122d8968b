// The settings a build gives kup through the environment: a dependency
// file for make and Ninja, folders to look for inputs in, warnings that
// fail the run and warnings for the traps of the language. Each does
// nothing while its variable is unset.
#pragma once

#include <string>
#include <vector>

namespace kup {

/// The environment variables read at start-up, and the warnings counted
/// for KUP_FATAL_WARNINGS.
struct EnvironmentSettings {
  /// KUP_DEPFILE: the dependency file written when the run ends; empty
  /// when none is written.
  std::string depfile;
  /// KUP_DEPTARGET: the target that the dependency file's rule names
  /// (KUP_OUTPUT when unset).
  std::string deptarget;
  /// KUP_OUTPUT: the file the output goes to; empty for standard output.
  std::string output;
  /// KUP_PATH: the folders a relative input path is looked for in, in
  /// order, when it does not open from the current folder.
  std::vector<std::string> search_path;
  /// KUP_FATAL_WARNINGS=1: a printed warning makes the status 1.
  bool fatal_warnings = false;
  /// KUP_EXTRA_WARNINGS=1: warnings where a text reads one way and runs
  /// another (operators that apply left to right, an operator glued to a
  /// name, quotes dropped from a value). A caller of run_kup in the same
  /// process sets the variable in the environment to switch them on.
  bool extra_warnings = false;
  /// KUP_UNDEFINED is set: the fields of data lines that match its pattern
  /// (see macros/name_pattern.h) must name a macro; each that names none is
  /// reported.
  bool check_undefined = false;
  /// Warnings printed so far.
  long warnings_printed = 0;
};

extern EnvironmentSettings settings;

/// Reads the variables; a faulty value ends the run, before any output.
void read_environment_settings();

/// Counts a warning that was just printed.
inline void count_warning() { ++settings.warnings_printed; }

/// The status a run ends with: 1 instead of 0 when KUP_FATAL_WARNINGS=1
/// and a warning was printed.
int status_after_warnings(int status);

/// Forgets the settings of a previous run.
void reset_environment_settings();

}  // namespace kup
