#include "driver/diagnostics.h"

#include "driver/driver.h"
#include "driver/environment.h"
#include "driver/line_markers.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "input/input_stack.h"

namespace kup {

namespace {

/// What the forms keep between the diagnostics of a run, and the sink.
struct DiagnosticState {
  DiagnosticForm form = DiagnosticForm::Classic;
  /// The outer levels of the last GNU-form diagnostic, innermost first:
  /// its "In file included from" lines are not repeated while they hold.
  std::vector<DiagnosticLocation> last_includers;
};

DiagnosticState diagnostics;
DiagnosticSink sink = nullptr;

/// The location lines of the input levels 0 to `level`.
std::string location_lines(int level) {
  if (level < 0) return "\n[Command Line]\n";
  std::string text;
  for (int i = 0; i <= level; ++i) {
    const InputLevel& l = inputs.levels[i];
    if (l.line_count != 0) format_to(text, "\nline[%d] \t[%s]", l.line_count, l.tag_name);
  }
  text += '\n';
  return text;
}

/// The places of the location lines, innermost first.
std::vector<DiagnosticLocation> input_locations() {
  std::vector<DiagnosticLocation> where;
  for (int i = inputs.file_level; i >= 0; --i) {
    const InputLevel& l = inputs.levels[i];
    if (l.line_count != 0) where.push_back({l.tag_name, static_cast<long>(l.line_count)});
  }
  return where;
}

/// `text` without its "KUP ... - " prefix and its final newline.
std::string_view bare_message(std::string_view text) {
  for (std::string_view prefix : {"KUP error - ", "KUP warning - ", "KUP user error - "}) {
    if (text.starts_with(prefix)) {
      text.remove_prefix(prefix.size());
      break;
    }
  }
  if (text.ends_with('\n')) text.remove_suffix(1);
  return text;
}

bool same_places(const std::vector<DiagnosticLocation>& a, const DiagnosticLocation* b,
                 std::size_t count) {
  if (a.size() != count) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (a[i].file != b[i].file || a[i].line != b[i].line) return false;
  return true;
}

/// The GNU form: the including files, outermost last, when they differ
/// from the last diagnostic's, then FILE:LINE:1: SEVERITY: TEXT.
std::string gnu_text(const Diagnostic& d) {
  const char* severity = d.error ? "error" : "warning";
  if (d.where.empty()) {
    diagnostics.last_includers.clear();
    return format("kup: %s: %s\n", severity, d.message);
  }
  std::string text;
  const DiagnosticLocation* includers = d.where.data() + 1;
  const std::size_t count = d.where.size() - 1;
  if (count > 0 && !same_places(diagnostics.last_includers, includers, count)) {
    for (std::size_t i = 0; i < count; ++i)
      format_to(text, i == 0 ? "In file included from %s:%d" : ",\n                 from %s:%d",
                includers[i].file, includers[i].line);
    text += ":\n";
  }
  diagnostics.last_includers.assign(includers, includers + count);
  format_to(text, "%s:%d:1: %s: %s\n", d.where.front().file, d.where.front().line, severity,
            d.message);
  return text;
}

/// Appends `value` as a JSON string. Control characters, the quote and the
/// backslash are escaped; a byte from 0x80 up is written as the character
/// of the same number (\u0080 to \u00ff), so that the output is ASCII and
/// every byte, NUL included, comes back as one character.
void append_json_string(std::string& out, std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte >= 0x7f) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

void append_json_place(std::string& out, const DiagnosticLocation& place) {
  out += "\"file\":";
  append_json_string(out, place.file);
  format_to(out, ",\"line\":%d", place.line);
}

/// The JSON form: one object on one line.
std::string json_text(const Diagnostic& d) {
  std::string out = d.error ? "{\"severity\":\"error\",\"message\":"
                            : "{\"severity\":\"warning\",\"message\":";
  append_json_string(out, d.message);
  out += ',';
  if (d.where.empty())
    out += "\"file\":null,\"line\":null";
  else
    append_json_place(out, d.where.front());
  out += ",\"included_from\":[";
  for (std::size_t i = 1; i < d.where.size(); ++i) {
    if (i > 1) out += ',';
    out += '{';
    append_json_place(out, d.where[i]);
    out += '}';
  }
  out += "]}\n";
  return out;
}

}  // namespace

void set_diagnostic_sink(DiagnosticSink new_sink) { sink = new_sink; }

void set_diagnostic_form(DiagnosticForm form) { diagnostics.form = form; }

void reset_diagnostics() { diagnostics = DiagnosticState{}; }

void report_diagnostic(bool error, DiagnosticOrigin origin, std::string_view text) {
  if (!error) count_warning();
  if (sink == nullptr && diagnostics.form == DiagnosticForm::Classic) {
    std::string classic;
    if (origin == DiagnosticOrigin::Input) classic = location_lines(inputs.file_level);
    if (origin == DiagnosticOrigin::CommandLine) classic = location_lines(-1);
    classic += text;
    err_write(classic);
    return;
  }
  Diagnostic d;
  d.error = error;
  d.message = bare_message(text);
  if (origin == DiagnosticOrigin::Input) d.where = input_locations();
  if (sink != nullptr)
    sink(d);
  else
    err_write(diagnostics.form == DiagnosticForm::Gnu ? gnu_text(d) : json_text(d));
}

void print_location(int level) { err_write(location_lines(level)); }

void print_command_line_location() { err_write(location_lines(-1)); }

void terminate_run(int status) {
  if (modes.line) {
    mark_current_line();
    out_put('\n');
  }
  if (modes.verbose) err_write("\n");
  for (int i = inputs.file_level; i >= 0; --i) {
    InputLevel& level = inputs.levels[i];
    close_stream(level);
    if (modes.verbose)
      err_write(format("%s(FILE) -> exiting at line %4d of '%s'\n", line.trace_prefix,
                       level.line_count, level.tag_name));
  }
  if (modes.verbose)
    err_write(status == 0 ? "\n            *** CALL FOR EXIT, KUP NORMAL TERMINATION ***\n\n"
                          : "\n            *** CALL FOR EXIT, KUP ABNORMAL TERMINATION ***\n\n");
  throw RunEnd{status};
}

void fatal(std::string_view message) {
  report_diagnostic(true, DiagnosticOrigin::Input, message);
  terminate_run(1);
}

void fatal_command_line(std::string_view message) {
  report_diagnostic(true, DiagnosticOrigin::CommandLine, message);
  terminate_run(1);
}

bool warnings_shown() { return modes.warning; }

void warn(std::string_view message) {
  if (modes.warning) report_diagnostic(false, DiagnosticOrigin::Input, message);
}

std::string string_too_long(std::string_view lead, std::string_view tail) {
  return format("KUP error - %sstring too long%s (max = %d)\n", lead, tail, kTextBufferSize);
}

void report_missing_file_name() { fatal("KUP error - file name is missing\n"); }

}  // namespace kup
