#include "directives/directives.h"
#include "driver/calendar.h"
#include "driver/command_line.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/echo_file.h"
#include "driver/environment.h"
#include "driver/info_texts.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "expr/expr.h"
#include "input/input_stack.h"
#include "macros/expansion.h"
#include "macros/macro_table.h"
#include "text/edits.h"

namespace kup {

namespace {

/// What an option does.
enum class Option { Help, Usage, Build, Verbose, Quiet, Stdin, Define, Prefix, Echo, Line, Comment };

struct OptionRow {
  std::string_view short_name;
  std::string_view long_name;
  Option option;
  char letter;  ///< the macro kind of -d, -i, -r, -f
};

constexpr OptionRow kOptions[] = {
    {"-h", "-help", Option::Help, 0},       {"-u", "-usage", Option::Usage, 0},
    {"-b", "-built", Option::Build, 0},     {"-v", "-verbose", Option::Verbose, 0},
    {"-q", "-quiet", Option::Quiet, 0},     {"-s", "-stdin", Option::Stdin, 0},
    {"-d", "-define", Option::Define, 'd'}, {"-i", "-int", Option::Define, 'i'},
    {"-r", "-real", Option::Define, 'r'},   {"-f", "-fix", Option::Define, 'f'},
    {"-p", "-prefix", Option::Prefix, 0},   {"-e", "-echo", Option::Echo, 0},
    {"-l", "-line", Option::Line, 0},       {"-c", "-comment", Option::Comment, 0},
};

const OptionRow* find_option(std::string_view argument) {
  for (const OptionRow& row : kOptions)
    if (argument == row.short_name || argument == row.long_name) return &row;
  return nullptr;
}

/// The option arguments: a cursor on the next argument and the count left.
struct Cursor {
  char** args;
  int left;
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

/// Handles -d, -i, -r and -f: a name and a value follow the option.
void define_from_option(char letter, Cursor& cursor) {
  if (cursor.left <= 0) fatal_command_line(format("KUP error - missing macro identifier -%c ?\n", letter));
  std::string_view name = *cursor.args++;
  --cursor.left;
  if (cursor.left <= 0) fatal_command_line(format("KUP error - missing macro definition -%c %s ?\n", letter, name));
  std::string value = option_value(*cursor.args++);
  --cursor.left;
  std::string result;
  if (letter == 'd') result.swap(value);
  else evaluate_to_text(value, result, default_precision(letter));
  define_macro(name, result);
}

void echo_option(Cursor& cursor) {
  if (modes.echo) fatal_command_line("KUP error - echo file already defined\n");
  if (cursor.left <= 0) fatal_command_line("KUP error - missing filename for -e\n");
  std::string_view argument = *cursor.args++;
  --cursor.left;
  if (startup.read_stdin) {
    modes.echo = true;
    open_echo_file(option_value(argument), "w");
  } else if (modes.warning) {
    print_command_line_location();
    err_write("KUP warning - disabling echo mode as standard input is not processed\n");
    count_warning();
  }
}

[[noreturn]] void report_unknown_option(std::string_view option) {
  print_location(inputs.file_level);
  err_write(format("KUP error - unrecognized option: %s\n", option));
  terminate_run(1);
}

/// Arguments an option takes, skipped by the first pass.
int option_arguments(const OptionRow& row) {
  switch (row.option) {
    case Option::Define: return 2;
    case Option::Prefix:
    case Option::Echo: return 1;
    default: return 0;
  }
}

/// The first pass: informational options and the modes needed before
/// anything else. Returns false once an informational text is printed.
bool first_pass(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const OptionRow* row = find_option(argv[i]);
    if (row == nullptr) continue;
    switch (row->option) {
      case Option::Help: print_help(); return false;
      case Option::Usage: print_usage(); return false;
      case Option::Build: print_build(); return false;
      case Option::Verbose: modes.verbose_forced = modes.verbose = modes.pending_verbose = true; break;
      case Option::Quiet: modes.warning = false; break;
      case Option::Stdin: startup.read_stdin = true; break;
      default: i += option_arguments(*row); break;
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
      continue;
    }
    switch (row->option) {
      case Option::Define: define_from_option(row->letter, cursor); break;
      case Option::Prefix: declare_prefix(cursor.args, cursor.left); break;
      case Option::Line: modes.line = true; break;
      case Option::Comment: modes.comment = true; break;
      case Option::Echo: echo_option(cursor); break;
      default: break;
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
