#include <algorithm>
#include <string>
#include <string_view>

#include "directives/directives.h"
#include "driver/calendar.h"
#include "driver/command_line.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/echo_file.h"
#include "driver/environment.h"
#include "driver/info_texts.h"
#include "driver/output.h"
#include "driver/output_file.h"
#include "driver/text_format.h"
#include "expr/expr.h"
#include "input/input_stack.h"
#include "macros/expansion.h"
#include "macros/field_warnings.h"
#include "macros/macro_table.h"
#include "text/edits.h"

namespace kup {

namespace {

/// The option arguments: a cursor on the next argument and the count left.
struct Cursor {
  char** args;
  int left;
};

/// Takes the next argument; the run ends with `missing` when none is left.
std::string_view required_argument(Cursor& cursor, std::string_view missing) {
  if (cursor.left <= 0) fatal_command_line(missing);
  --cursor.left;
  return *cursor.args++;
}

struct OptionRow;

/// What an option does in the pass that handles it, taking the arguments
/// that follow it through the cursor. False when the run stops there, an
/// informational text having been printed.
using OptionHandler = bool (*)(const OptionRow& row, Cursor& cursor);

/// Which of the two passes over the arguments handles an option.
enum class Pass { First, Second };

/// One option: its spellings, the arguments that follow it and what it
/// does.
struct OptionRow {
  std::string_view short_name;
  std::string_view long_name;
  int arguments;  ///< arguments that follow the option, passed over by the other pass
  Pass pass;
  OptionHandler handler;
  char letter;  ///< the macro kind of -d, -i, -r, -f
};

/// Quotes a command-line value, expands it and drops its single quotes.
std::string option_value(std::string_view value) {
  if (value.size() + 2 > kMaxText) fatal_command_line(string_too_long());
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted.push_back('\'');
  quoted.append(value);
  quoted.push_back('\'');
  std::string expanded;
  expand_text(quoted, expanded, false, TextKind::Directive);
  drop_char_in_place(expanded, '\'');
  return expanded;
}

/// -d, -i, -r and -f: a name and a value follow the option.
bool define_option(const OptionRow& row, Cursor& cursor) {
  const char letter = row.letter;
  const std::string_view name =
      required_argument(cursor, format("KUP error - missing macro identifier -%c ?\n", letter));
  const std::string_view given =
      required_argument(cursor, format("KUP error - missing macro definition -%c %s ?\n", letter, name));
  std::string value = option_value(given);
  std::string result;
  if (letter == 'd') result.swap(value);
  else evaluate_to_text(value, result, default_precision(letter));
  define_macro(name, result);
  // The quotes of a -d value are gone already: the macro keeps a note, so
  // that its use in a data line can say so.
  if (letter == 'd' && settings.extra_warnings && quotes_lost_in_value(given)) note_quotes_dropped(name);
  return true;
}

/// -p: Prefix Mode, and the prefix that follows. Prefix Mode begins, and a
/// full table is reported, before a missing prefix.
bool prefix_option(const OptionRow&, Cursor& cursor) {
  enter_prefix_mode();
  check_prefix_room();
  declare_prefix(required_argument(cursor, "KUP error - missing prefix definition -p ? \n"));
  return true;
}

/// -e: the echo file, when standard input is read.
bool echo_option(const OptionRow&, Cursor& cursor) {
  if (modes.echo) fatal_command_line("KUP error - echo file already defined\n");
  const std::string_view argument = required_argument(cursor, "KUP error - missing filename for -e\n");
  if (startup.read_stdin) {
    modes.echo = true;
    open_echo_file(option_value(argument), "w");
  } else if (modes.warning) {
    report_diagnostic(false, DiagnosticOrigin::CommandLine,
                      "KUP warning - disabling echo mode as standard input is not processed\n");
  }
  return true;
}

/// -v: Verbose Mode from the first line on, and the run report.
bool verbose_option(const OptionRow&, Cursor&) {
  modes.verbose_forced = modes.verbose = modes.pending_verbose = true;
  return true;
}

/// The options; the first pass looks them up as well as the second.
constexpr OptionRow kOptions[] = {
    {"-h", "-help", 0, Pass::First, [](const OptionRow&, Cursor&) { print_help(); return false; }, 0},
    {"-u", "-usage", 0, Pass::First, [](const OptionRow&, Cursor&) { print_usage(); return false; }, 0},
    {"-b", "-built", 0, Pass::First, [](const OptionRow&, Cursor&) { print_build(); return false; }, 0},
    {"-v", "-verbose", 0, Pass::First, verbose_option, 0},
    {"-q", "-quiet", 0, Pass::First, [](const OptionRow&, Cursor&) { modes.warning = false; return true; }, 0},
    {"-s", "-stdin", 0, Pass::First, [](const OptionRow&, Cursor&) { startup.read_stdin = true; return true; }, 0},
    {"-d", "-define", 2, Pass::Second, define_option, 'd'},
    {"-i", "-int", 2, Pass::Second, define_option, 'i'},
    {"-r", "-real", 2, Pass::Second, define_option, 'r'},
    {"-f", "-fix", 2, Pass::Second, define_option, 'f'},
    {"-p", "-prefix", 1, Pass::Second, prefix_option, 0},
    {"-e", "-echo", 1, Pass::Second, echo_option, 0},
    {"-l", "-line", 0, Pass::Second, [](const OptionRow&, Cursor&) { modes.line = true; return true; }, 0},
    {"-c", "-comment", 0, Pass::Second, [](const OptionRow&, Cursor&) { modes.comment = true; return true; }, 0},
};

const OptionRow* find_option(std::string_view argument) {
  for (const OptionRow& row : kOptions)
    if (argument == row.short_name || argument == row.long_name) return &row;
  return nullptr;
}

[[noreturn]] void report_unknown_option(std::string_view option) {
  fatal(format("KUP error - unrecognized option: %s\n", option));
}

/// The first pass: informational options and the modes needed before
/// anything else; the arguments of other options are passed over. Returns
/// false once an informational text is printed.
bool first_pass(int argc, char** argv) {
  Cursor cursor{argv + 1, argc - 1};
  while (cursor.left > 0) {
    const OptionRow* row = find_option(*cursor.args++);
    --cursor.left;
    if (row == nullptr) continue;
    if (row->pass == Pass::First) {
      if (!row->handler(*row, cursor)) return false;
    } else {
      const int passed = std::min(row->arguments, cursor.left);
      cursor.args += passed;
      cursor.left -= passed;
    }
  }
  return true;
}

/// The second pass: everything else, in the order of the arguments.
void second_pass(int argc, char** argv) {
  Cursor cursor{argv + 1, argc - 1};
  while (cursor.left > 0) {
    std::string_view argument = *cursor.args++;
    --cursor.left;
    const OptionRow* row = find_option(argument);
    if (row == nullptr) {
      if (!argument.empty() && argument.front() == '-') report_unknown_option(argument);
      open_input(argument, cond.cond_depth, "r");
    } else if (row->pass == Pass::Second) {
      row->handler(*row, cursor);
    }
  }
}

}  // namespace

bool start_up(int argc, char** argv) {
  read_environment_settings();
  if (argc < 2) {
    err_write(format("%s -  type KUP -u for usage\n", kVersionText));
    terminate_run(1);
  }
  define_macro("$N", "");
  define_macro("$V", kVersionText);
  define_macro("$D", start_date_text());
  if (!first_pass(argc, argv)) return false;
  send_output_to_file();
  if (startup.read_stdin) push_standard_input();
  second_pass(argc, argv);
  if (inputs.file_level == -1) fatal_command_line("KUP error - no input specified, verify command line\n");
  define_macro("$F", top_level().file_name);
  define_macro("$T", top_level().tag_name);
  if (modes.verbose_forced) print_run_report();
  startup.command_line_phase = false;
  return true;
}

}  // namespace kup
