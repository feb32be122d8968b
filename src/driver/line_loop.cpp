#include <algorithm>
#include <cstring>
#include <optional>

#include "directives/directives.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/echo_file.h"
#include "driver/environment.h"
#include "driver/line_loop.h"
#include "driver/line_markers.h"
#include "driver/run_observer.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "input/input_stack.h"
#include "macros/class_masks.h"
#include "macros/expansion.h"
#include "macros/field_scanner.h"
#include "macros/field_warnings.h"
#include "text/char_classes.h"

namespace kup {

namespace {

/// Which modes let a directive through.
enum class Gate {
  Always,       ///< obeyed in every mode
  Conditional,  ///< obeyed while Skip Mode is off
  Evaluated,    ///< obeyed while Skip Mode is off and Evaluation Mode on
};

struct DirectiveRow {
  std::string_view word;
  void (*handler)();
  Gate gate;
};

void silent_comment() { set_trace({}, {}); }

/// The directives; the order does not matter.
constexpr DirectiveRow kDirectives[] = {
    {"skip", directive_skip, Gate::Always},
    {"stop", directive_quit, Gate::Always},
    {"status", directive_status, Gate::Always},
    {"if", directive_if, Gate::Conditional},
    {"ifdef", directive_ifdef, Gate::Conditional},
    {"ifndef", directive_ifndef, Gate::Conditional},
    {"else", directive_else, Gate::Conditional},
    {"endif", directive_endif, Gate::Conditional},
    {"define", directive_define, Gate::Evaluated},
    {"default", directive_default, Gate::Evaluated},
    {"cat", directive_cat, Gate::Evaluated},
    {"undef", directive_undef, Gate::Evaluated},
    {"int", [] { directive_typed('i'); }, Gate::Evaluated},
    {"real", [] { directive_typed('r'); }, Gate::Evaluated},
    {"fix", [] { directive_typed('f'); }, Gate::Evaluated},
    {"freeze", directive_freeze, Gate::Evaluated},
    {"melt", directive_melt, Gate::Evaluated},
    {"list", directive_list, Gate::Evaluated},
    {"include", directive_include, Gate::Evaluated},
    {"insert", directive_insert, Gate::Evaluated},
    {"tag", directive_tag, Gate::Evaluated},
    {"ask", directive_ask, Gate::Evaluated},
    {"msg", directive_msg, Gate::Evaluated},
    {"abort", directive_abort, Gate::Evaluated},
    {"exit", directive_exit, Gate::Evaluated},
    {"quit", directive_quit, Gate::Evaluated},
    {"macro", directive_macro, Gate::Evaluated},
    {"verbose", directive_verbose, Gate::Evaluated},
    {"#", directive_comment, Gate::Evaluated},
    {"*", silent_comment, Gate::Evaluated},
};

/// The row of a directive word, or null.
const DirectiveRow* find_directive(std::string_view word) {
  if (word.empty()) return nullptr;
  // The first characters tell most words apart without a comparison.
  for (const DirectiveRow& row : kDirectives)
    if (row.word[0] == word[0] && row.word == word) return &row;
  return nullptr;
}

/// Whether the modes let a directive of `gate` through. Outside Skip Mode
/// a directive kept out by Evaluation Mode is traced as skipped.
bool gate_open(Gate gate) {
  if (gate == Gate::Always) return true;
  if (modes.skip) return false;
  if (gate == Gate::Conditional || modes.evaluation) return true;
  set_trace("Macro", "Skipped");
  return false;
}

/// Views raw_text without its newline as line_text. The reader hands out
/// lines up to their first newline, so a line holds at most one, at its
/// end.
void build_line_text() {
  std::string_view raw = line.raw_text;
  if (!raw.empty() && raw.back() == '\n') raw.remove_suffix(1);
  line.line_text = raw;
}

void trace_line(bool data) {
  const std::string& prefix = line.trace_prefix;
  std::string& text = line.trace_text;
  text.clear();
  format_to(text, "%s\n%s(%4d) ->  %s", prefix, prefix, top_level().line_count, line.raw_text);
  if (!data) {
    if (!line.trace_label.empty() || !line.trace_detail.empty())
      format_to(text, "%s(....) <- <%s>\t<%s>\n", prefix, line.trace_label, line.trace_detail);
  } else if (modes.evaluation) {
    format_to(text, "%s(%4d) <- <%s>\n", prefix, modes.output_line + 1, line.data_expansion);
  } else {
    format_to(text, "%s(....) <- <%s>\n", prefix, line.data_expansion);
  }
  if (top_level().is_stdin) text += '\n';
  err_write(text);
  build_trace_prefix(cond.cond_depth);
}

/// Keeps the expanded data line written at `out` (room from out_reserve)
/// without its backquotes, and ends it.
void commit_data_line(char* out, Expanded expansion) {
  std::size_t size = expansion.size;
  if (expansion.may_hold_backquote) size = static_cast<std::size_t>(std::remove(out, out + size, '`') - out);
  out[size] = '\n';
  out_commit(size + 1);
  ++modes.output_line;
}

/// Writes the expanded data line kept in data_expansion for the trace.
void write_data_line(Expanded expansion) {
  mark_current_line();
  char* const out = out_reserve(expansion.size + 1);
  std::memcpy(out, line.data_expansion.data(), expansion.size);
  commit_data_line(out, expansion);
}

/// Expands `text`, a data line without its newline in storage readable
/// kLineSlack bytes past its end, into `buffer`.
Expanded expand_line(std::string_view text, char* buffer) {
  ClassMasks masks;
  build_data_masks(text, modes.prefix, masks);
  return expand_data_line(text, masks, buffer, modes.prefix);
}

/// Expands the data line straight into the buffer of standard output,
/// after its marker, if any: outside Verbose Mode nobody reads the
/// expansion, so it need not be kept.
void expand_to_output(std::string_view text) {
  char* const out = out_reserve(kMaxText + kExpansionSlack);
  commit_data_line(out, expand_line(text, out));
}

/// The expansion, trace and output of a data line.
void finish_data_line() {
  if (modes.skip) return;
  if (!modes.evaluation) {
    line.data_expansion.assign("Data>\t<Skipped");
    if (modes.verbose) trace_line(true);
    return;
  }
  if (settings.check_undefined) [[unlikely]]
    check_undefined_fields(line.line_text, modes.prefix);
  if (!modes.verbose) {
    mark_current_line();
    expand_to_output(line.line_text);
    return;
  }
  char buffer[kMaxText + kExpansionSlack];
  const Expanded expansion = expand_line(line.line_text, buffer);
  line.data_expansion.assign(buffer, expansion.size);
  trace_line(true);
  write_data_line(expansion);
}

/// The trace and the echo copy of a directive line.
void finish_directive_line() {
  if (modes.skip) return;
  if (modes.verbose) trace_line(false);
  if (modes.echo && line.echo_due) write_echo_line(line.line_text);
}

/// What follows the handling of every line: expansion, trace, output, echo,
/// the Line Mode empty line, the evaluation report and the pending modes.
void finish_line() {
  const bool data = !modes.directive_line;
  // Read before the data line is handled: Skip Mode does not change there.
  const bool written = data && !modes.skip && modes.evaluation;
  if (data) finish_data_line();
  else finish_directive_line();
  if (modes.line && !written) {
    mark_current_line();
    ++modes.output_line;
    out_put('\n');
  }
  if (modes.verbose && modes.evaluation != modes.evaluation_traced) {
    err_write(format("%s\n%s ****       Evaluation is turned %s\n", line.trace_prefix, line.trace_prefix,
                     modes.evaluation ? "ON" : "OFF"));
    modes.evaluation_traced = modes.evaluation;
  }
  modes.verbose = modes.pending_verbose;
  modes.skip = modes.pending_skip;
}

/// The normal end: the bottom level is exhausted.
void end_of_input() {
  close_input(cond.cond_depth);
  if (modes.echo) {
    close_echo_file();
    if (modes.verbose)
      err_write(format("\n%s(ECHO) -> closing    '%s'\n", line.trace_prefix, echo.name));
  }
  if (modes.verbose) err_write("\n            *** END OF PROCESSING, KUP NORMAL TERMINATION ***\n\n");
}

}  // namespace

void set_trace(std::string_view label, std::string_view detail) {
  line.trace_label.assign(label);
  line.trace_detail.assign(detail);
}

void build_trace_prefix(int depth) {
  const std::size_t bars = depth > 0 ? static_cast<std::size_t>(depth) : 0;
  const std::size_t width = bars <= 3 ? 3 : 4 * (bars / 4) + 4;
  line.trace_prefix.assign(bars, '|');
  line.trace_prefix.append(width - bars, ' ');
}

namespace {

/// An unknown directive word: a warning, and the line becomes data.
void report_unknown_directive(std::string_view word) {
  modes.directive_line = false;
  warn("KUP warning - '#%s' is not a legal ZIDiv directive\n", word);
}

/// Calls the handler of a directive word.
void dispatch_directive(std::string_view word) {
  const DirectiveRow* row = find_directive(word);
  // A word that names no directive passes the gates of most directives
  // before it is reported.
  if (!gate_open(row != nullptr ? row->gate : Gate::Evaluated)) return;
  if (row != nullptr) row->handler();
  else report_unknown_directive(word);
}

/// Tells the observer, if any, that the line read from input level
/// `level` was handled, then finishes it.
void end_line(int level) {
  if (run_observer != nullptr) [[unlikely]]
    run_observer->line_handled(inputs.levels[level]);
  finish_line();
}

/// Handles the line just read into line.raw_text.
void process_line() {
  const int level = inputs.file_level;
  InputLevel& top = inputs.levels[level];
  ++top.line_count;
  // Taken before the handler runs: #include and #exit change the top level.
  line.echo_due = top.is_stdin;
  if (markers.on) [[unlikely]]
    note_line_origin(top, line.raw_text.back() == '\n');
  build_line_text();
  modes.directive_line = false;
  // '#' is always a field of its own, so the first field is "#" exactly
  // when the first character after white space is '#'; other lines are
  // data and need no scan here. The directive word is the trace label
  // until the handler sets its own; it views line_text, which no handler
  // changes.
  const char* const end = line.line_text.data() + line.line_text.size();
  const char* const first_char = skip_class(line.line_text.data(), end, ctype::kSpace);
  if (first_char == end || *first_char != '#') {
    line.line_rest = {};
    end_line(level);
    return;
  }
  line.line_rest = scan_field(line.line_text).rest;
  if (!line.line_rest.empty()) {
    modes.directive_line = true;
    const FieldScan word = scan_directive_word(line.line_rest);
    line.line_rest = word.rest;
    set_trace(word.field, {});
    dispatch_directive(word.field);
  }
  end_line(level);
}

/// True for a line whose first character after white space is '#'.
bool may_be_directive(std::string_view text) {
  const char* const end = text.data() + text.size();
  const char* const first_char = skip_class(text.data(), end, ctype::kSpace);
  return first_char != end && *first_char == '#';
}

/// True when the next line of `unread` opens with '#', at once or after
/// blanks and tabs: most directive lines, told apart before the loop of
/// data lines is set up for nothing. Other directive lines are found once
/// taken.
bool opens_with_hash(std::string_view unread) {
  for (const char c : unread)
    if (c != ' ' && c != '\t') return c == '#';
  return false;
}

/// Makes `taken`, a line the reader handed out, the line being handled;
/// one that may be a directive is copied into raw_line, since its handler
/// may read on.
void take_line(std::string_view taken) {
  line.raw_text = may_be_directive(taken) ? line.raw_line.assign(taken) : taken;
}

/// Reads the next line into raw_text; false when all input is read.
bool next_line() {
  std::string_view taken;
  if (!read_line(taken, cond.cond_depth)) return false;
  take_line(taken);
  return true;
}

/// True while a data line needs nothing but its expansion written: no
/// trace, Skip Mode off, Evaluation Mode on, no mode waiting to change at
/// the end of a line, no observer to be told of each line and no
/// KUP_UNDEFINED check of its fields.
bool only_expansion_due() {
  return run_observer == nullptr && !modes.verbose && !modes.skip && modes.evaluation && !modes.pending_verbose &&
         !modes.pending_skip && !settings.check_undefined;
}

/// Handles the lines of the top level one after another while they are
/// data lines that need nothing but their expansion: each is expanded
/// from the reader's storage straight into standard output. The first
/// line that may be a directive, and a piece of a longer line, go the
/// whole way of process_line; the end of the level returns at once.
/// `kMarked` when line markers are written: the loop without them keeps
/// no marker state at all.
template <bool kMarked>
void run_data_lines() {
  InputLevel& level = top_level();
  LineReader& reader = *level.reader;
  static_assert(kReadSlack >= kLineSlack, "a line the reader hands out can be classified in blocks");
  modes.directive_line = false;
  line.line_rest = {};
  [[maybe_unused]] std::optional<WholeLineMarks> marks;
  if constexpr (kMarked) marks.emplace(level);
  for (;;) {
    std::string_view taken;
    if (reader.next_line(taken, kMaxPiece) != ReadStatus::Piece) return;
    if (taken.back() != '\n' || may_be_directive(taken)) {
      take_line(taken);
      process_line();
      return;
    }
    ++level.line_count;
    if constexpr (kMarked) marks->mark();
    line.raw_text = taken;
    line.line_text = taken.substr(0, taken.size() - 1);  // without its newline
    expand_to_output(line.line_text);
  }
}

}  // namespace

void run_line_loop() {
  for (;;) {
    // A directive line goes the whole way of process_line from next_line:
    // between directives there are often no data lines at all.
    if (only_expansion_due() && !opens_with_hash(top_level().reader->unread())) {
      if (markers.on) run_data_lines<true>();
      else run_data_lines<false>();
    }
    if (!next_line()) break;
    process_line();
  }
  end_of_input();
}

}  // namespace kup
