// The directives that create, change and remove macros from inside the
// processed files: #define, #default, #undef, #cat, #freeze, #melt, #ask.
#include <string>
#include <string_view>

#include "directives/directives.h"
#include "driver/driver.h"
#include "input/input_stack.h"
#include "macros/macro_table.h"

namespace kup {

namespace {

/// Scratch texts of the handlers, kept to spare an allocation per line.
std::string field_text;
std::string current_text;
std::string piece_text;
std::string answer_text;

/// Reads the next field of the line into `name` and follows its "@"
/// indirections.
void read_name_field(std::string& name) {
  line.line_rest = next_field(line.line_rest, name);
  resolve_indirection(name);
}

/// Reads the macro name of a one-name directive into trace_label, resolved
/// and checked.
void read_checked_name() {
  read_name_field(line.trace_label);
  check_identifier(line.trace_label, "macro");
}

/// Copies the value of `entry` as its readers see it, so that a later list
/// composition cannot overwrite it.
void copy_value(const MacroEntry* entry, std::string& out) {
  const std::string_view value = macro_value(entry, out);
  if (value.data() != out.data()) out.assign(value);
}

/// The value of `entry` with the commas of a list left out: what #cat joins.
void copy_cat_value(const MacroEntry* entry, std::string& out) {
  copy_value(entry, out);
  if (is_list(entry)) drop_char_in_place(out, ',');
}

/// Defines `name` after removing it, so that no redefinition warning is given.
void replace_macro(std::string_view name, std::string_view value) {
  remove_macro(name);
  define_macro(name, value);
}

/// "1 macro removed", "2 macros removed".
std::string removal_count_text(int removed) {
  return int_to_text(removed) + (removed >= 2 ? " macros removed" : " macro removed");
}

/// How #freeze and #melt differ.
struct ProtectionKind {
  bool frozen;                ///< enclose the value in backquotes
  std::string_view warning;   ///< for an undefined name
  std::string_view label;     ///< trace_label at the end
};

constexpr ProtectionKind kFreeze = {true, "KUP warning - try to freeze an undefined macro <%s>\n",
                                    "macro(s) frozen"};
constexpr ProtectionKind kMelt = {false, "KUP warning - try to melt an undefined macro <%s>\n",
                                  "macro(s) melt"};

/// Builds the frozen or melted form of a value in place: its backquotes
/// left out, then, to freeze it, one backquote on each side.
void protect_value(std::string& value, const ProtectionKind& kind) {
  drop_char_in_place(value, '`');
  if (!kind.frozen) return;
  if (value.size() + 2 > kMaxText) fatal(format("KUP error - string too long (max = %d)\n", kTextBufferSize));
  value.insert(value.begin(), '`');
  value.push_back('`');
}

/// Freezes or melts every macro named on the rest of the line.
void change_protection(const ProtectionKind& kind) {
  int changed = 0;
  while (!line.line_rest.empty()) {
    read_name_field(field_text);
    check_identifier(field_text, "macro");
    const MacroEntry* entry = find_macro(field_text);
    if (entry == nullptr) {
      warn(format(kind.warning, field_text));
      continue;
    }
    copy_value(entry, current_text);
    protect_value(current_text, kind);
    replace_macro(field_text, current_text);
    ++changed;
  }
  line.trace_label.assign(kind.label);
  line.trace_detail.assign(int_to_text(changed));
}

/// Appends one #cat field to the macro `name`.
void concatenate_piece(const std::string& name, const std::string& field) {
  if (const MacroEntry* source = find_macro(field)) copy_cat_value(source, piece_text);
  else piece_text.assign(field);
  check_identifier(name, "macro");
  const MacroEntry* target = find_macro(name);
  if (target == nullptr) {
    define_macro(name, piece_text);
    return;
  }
  copy_cat_value(target, current_text);
  if (current_text.size() + piece_text.size() > kMaxText)
    fatal(format("KUP error - string too long, unable to concatenate (max = %d)\n", kTextBufferSize));
  current_text.append(piece_text);
  replace_macro(name, current_text);
}

/// Reads the answer of #ask from standard input: the empty text at its
/// end, and for a blank answer (white space up to the line end), whose
/// expansion would otherwise keep the blanks and the line end. Standard
/// input that cannot be read (a directory, a closed descriptor) ends the
/// run as it does when it is an input level.
void read_answer(std::string& answer) {
  switch (stdin_reader.read_piece(answer, kMaxPiece)) {
    case ReadStatus::Piece: {
      const char* const end = answer.data() + answer.size();
      if (skip_class(answer.data(), end, ctype::kSpace) == end) answer.clear();
      return;
    }
    case ReadStatus::End:
      answer.clear();
      return;
    case ReadStatus::Error:
      break;
  }
  fatal("KUP error - problem to read input file: 'Standard Input'\n");
}

}  // namespace

/// #define: defines a macro, redefines it, or with the name alone expands
/// its value again.
void directive_define() {
  read_checked_name();
  const std::string& name = line.trace_label;
  std::string& value = line.trace_detail;
  const MacroEntry* entry = find_macro(name);
  if (entry == nullptr) {
    expand_text(line.line_rest, value, false);
    define_macro(name, value);
  } else if (!line.line_rest.empty()) {
    expand_text(line.line_rest, value, false);
    // A macro holding the empty text takes a value without a warning.
    if (macro_value(entry, current_text).empty()) replace_macro(name, value);
    else define_macro(name, value);
  } else {
    // The name alone: the value is expanded again with the present macros.
    copy_value(entry, current_text);
    expand_text(current_text, value, false);
    replace_macro(name, value);
  }
}

/// #default: defines a macro only if it is undefined or empty.
void directive_default() {
  read_checked_name();
  const std::string& name = line.trace_label;
  const MacroEntry* entry = find_macro(name);
  if (entry != nullptr) {
    copy_value(entry, line.trace_detail);
    if (!line.trace_detail.empty()) return;
    remove_macro(name);
  }
  expand_text(line.line_rest, line.trace_detail, false);
  define_macro(name, line.trace_detail);
}

/// #undef: removes every macro named, counting the entries removed.
void directive_undef() {
  line.trace_label.clear();
  line.trace_detail.clear();
  const int before = macro_count();
  while (!line.line_rest.empty()) {
    read_name_field(field_text);
    if (remove_macro(field_text) == -1) continue;
    line.trace_label.append(field_text);
    if (!line.line_rest.empty()) line.trace_label.push_back(' ');
  }
  line.trace_detail.assign(removal_count_text(before - macro_count()));
}

/// #cat: appends field texts or macro values to the first macro named.
void directive_cat() {
  read_name_field(line.trace_label);
  const std::string& name = line.trace_label;
  while (!line.line_rest.empty()) {
    line.line_rest = next_field(line.line_rest, field_text);
    concatenate_piece(name, field_text);
  }
  copy_value(find_macro(name), line.trace_detail);
}

/// #freeze: protects the named macros from expansion.
void directive_freeze() { change_protection(kFreeze); }

/// #melt: takes that protection away again.
void directive_melt() { change_protection(kMelt); }

/// #ask: defines an undefined macro from the user's answer on standard input.
void directive_ask() {
  read_checked_name();
  const std::string& name = line.trace_label;
  if (const MacroEntry* entry = find_macro(name)) {
    copy_value(entry, line.trace_detail);
    return;
  }
  expand_text(line.line_rest, current_text, false);
  drop_char_in_place(current_text, '\'');
  drop_char_in_place(current_text, '`');
  if (modes.verbose || modes.comment) err_write("\n");
  err_write(format("\n **** %s\n", current_text));
  read_answer(answer_text);
  err_write("\n");
  expand_text(answer_text, line.trace_detail, false);
  define_macro(name, line.trace_detail);
}

}  // namespace kup
