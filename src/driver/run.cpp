#include <new>

#include "directives/directives.h"
#include "driver/command_line.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/echo_file.h"
#include "driver/environment.h"
#include "driver/line_loop.h"
#include "driver/line_markers.h"
#include "driver/output.h"
#include "driver/output_file.h"
#include "driver/run_observer.h"
#include "driver/text_format.h"
#include "expr/expr.h"
#include "input/dependencies.h"
#include "input/input_stack.h"
#include "macros/field_warnings.h"
#include "macros/macro_table.h"

namespace kup {

ModeFlags modes;
LineBuffers line;
StartupState startup;
RunObserver* run_observer = nullptr;

namespace {

/// Flushes standard output, closes the echo file and writes the
/// dependency file; a write error on any turns the status into 1 with a
/// message (the first one only). A closed pipe on standard output gives
/// status 1 without a message: its reader took what it wanted and went
/// away. With KUP_FATAL_WARNINGS=1 a printed warning makes the status 1.
int status_of_writes(int status) {
  const bool output_ok = out_flush();
  const bool echo_ok = close_echo_file();
  const bool dependencies_ok = write_dependency_file(settings.depfile, settings.deptarget);
  if (!output_ok && output_goes_to_file()) {
    report_diagnostic(true, DiagnosticOrigin::Unlocated,
                      format("KUP error - problem to write KUP_OUTPUT: '%s'\n", settings.output));
    return 1;
  }
  if (!output_ok && !out_reader_gone()) {
    report_diagnostic(true, DiagnosticOrigin::Unlocated, "KUP error - problem to write on standard output\n");
    return 1;
  }
  if (!echo_ok) {
    report_diagnostic(true, DiagnosticOrigin::Unlocated,
                      format("KUP error - problem to write echo file: '%s'\n", echo.name));
    return 1;
  }
  if (!dependencies_ok) {
    report_diagnostic(true, DiagnosticOrigin::Unlocated,
                      format("KUP error - problem to write KUP_DEPFILE: '%s'\n", settings.depfile));
    return 1;
  }
  return output_ok ? status_after_warnings(status) : 1;
}

/// The end of every run: the writes, then KUP_OUTPUT's file replaced by
/// what the run wrote only when all went well.
int finish_run(int status) {
  status = status_of_writes(status);
  if (!finish_output_file(status == 0)) {
    report_diagnostic(true, DiagnosticOrigin::Unlocated,
                      format("KUP error - problem to write KUP_OUTPUT: '%s'\n", settings.output));
    return 1;
  }
  return status;
}

}  // namespace

void reset_run_state() {
  modes = ModeFlags{};
  line.raw_line.clear();
  line.raw_text = {};
  line.line_text = {};
  line.line_rest = {};
  line.trace_label.clear();
  line.trace_detail.clear();
  line.data_expansion.clear();
  line.echo_due = false;
  startup = StartupState{};
  reset_conditional_state();
  reset_evaluator();
  reset_input_stack();
  reset_macro_state();
  reset_echo_file();
  reset_output();
  reset_environment_settings();
  reset_field_warnings();
  reset_dependencies();
  reset_diagnostics();
  reset_line_markers();
  reset_output_file();
  build_trace_prefix(0);
}

int run_kup(int argc, char** argv) {
  reset_run_state();
  int status = 0;
  try {
    if (start_up(argc, argv)) run_line_loop();
  } catch (const RunEnd& end) {
    status = end.status;
  } catch (const std::bad_alloc&) {
    report_diagnostic(true, DiagnosticOrigin::Input, "KUP error - memory allocation error\n");
    status = 1;
  }
  return finish_run(status);
}

}  // namespace kup
