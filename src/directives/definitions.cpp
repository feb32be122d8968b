// The directives that create, change and remove macros from inside the
// processed files: #define, #default, #undef, #cat, #freeze, #melt, #ask
// and #list.
#include <string>
#include <string_view>

#include "directives/directives.h"
#include "directives/handler_support.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "input/input_stack.h"
#include "macros/expansion.h"
#include "macros/field_scanner.h"
#include "macros/lists.h"
#include "macros/macro_table.h"
#include "text/char_classes.h"
#include "text/edits.h"

namespace kup {

namespace {

/// Reads the next field of the line into `name` and follows its "@"
/// indirections.
void read_name_field(std::string& name) {
  line.line_rest = next_field(line.line_rest, name);
  resolve_indirection(name);
}

/// Reads the macro name of a one-name directive into `name`, resolved and
/// checked.
void read_checked_name(std::string& name) {
  read_name_field(name);
  check_identifier(name, "macro");
}

/// Copies the value of `entry` as its readers see it into `out`.
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
  std::string_view label;     ///< the trace label
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
  if (value.size() + 2 > kMaxText) fatal(string_too_long());
  value.insert(value.begin(), '`');
  value.push_back('`');
}

/// Freezes or melts every macro named on the rest of the line.
void change_protection(const ProtectionKind& kind) {
  std::string& name = handler_texts.name;
  std::string& value = handler_texts.value;
  int changed = 0;
  while (!line.line_rest.empty()) {
    read_checked_name(name);
    const MacroEntry* entry = find_macro(name);
    if (entry == nullptr) {
      warn(kind.warning, name);
      continue;
    }
    copy_value(entry, value);
    protect_value(value, kind);
    replace_macro(name, value);
    ++changed;
  }
  set_trace(kind.label, int_to_text(changed));
}

/// Appends the #cat field `field` (a macro's value, or the field itself) to
/// the macro `name`.
void concatenate_piece(const std::string& name, const std::string& field) {
  std::string& piece = handler_texts.piece;
  std::string& joined = handler_texts.current;
  if (const MacroEntry* source = find_macro(field)) copy_cat_value(source, piece);
  else piece.assign(field);
  check_identifier(name, "macro");
  const MacroEntry* target = find_macro(name);
  if (target == nullptr) {
    define_macro(name, piece);
    return;
  }
  copy_cat_value(target, joined);
  if (joined.size() + piece.size() > kMaxText) fatal(string_too_long({}, ", unable to concatenate"));
  joined.append(piece);
  replace_macro(name, joined);
}

/// Reads the answer of #ask from standard input: the empty text at its
/// end, and for a blank answer (white space up to the line end), whose
/// expansion would otherwise keep the blanks and the line end. Standard
/// input that cannot be read (a directory, a closed descriptor) ends the
/// run as it does when it is an input level.
void read_answer(std::string& answer) {
  switch (inputs.stdin_reader.read_piece(answer, kMaxPiece)) {
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

/// The text #list splits: the stored value, or the composed value of a
/// list, which is split again after a warning.
std::string_view split_source(const MacroEntry* entry, std::string& scratch) {
  if (is_list(entry)) warn("KUP warning - macro <%s> is already a list\n", entry->name());
  return macro_value(entry, scratch);
}

/// Defines the elements of the list `name` from the commas of `text`; one
/// leading comma is skipped. Returns the number of elements.
long long define_elements(const std::string& name, std::string_view text) {
  std::size_t from = !text.empty() && text.front() == ',' ? 1 : 0;
  for (long long k = 0;; ++k) {
    const std::size_t comma = text.find(',', from);
    const std::string element = element_name(name, k);
    define_macro(element, text.substr(from, comma == std::string_view::npos ? text.npos : comma - from));
    if (modes.verbose) list_macro(element);
    if (comma == std::string_view::npos) return k + 1;
    from = comma + 1;
  }
}

}  // namespace

/// #define: defines a macro, redefines it, or with the name alone expands
/// its value again.
void directive_define() {
  std::string& name = handler_texts.name;
  std::string& value = handler_texts.value;
  read_checked_name(name);
  const IndexPlace where = locate_macro(name);
  const MacroEntry* entry = where.entry;
  if (entry == nullptr) {
    expand_text(line.line_rest, value, false, TextKind::Directive);
    define_checked_macro(name, value, where);
  } else if (!line.line_rest.empty()) {
    expand_text(line.line_rest, value, false, TextKind::Directive);
    // A macro holding the empty text takes a value without a warning.
    if (macro_value(entry, handler_texts.current).empty()) replace_macro(name, value);
    else define_checked_macro(name, value, where);
  } else {
    // The name alone: the value is expanded again with the present macros.
    expand_text(macro_value(entry, handler_texts.current), value, false, TextKind::Directive);
    replace_macro(name, value);
  }
  set_trace(name, value);
}

/// #default: defines a macro only if it is undefined or empty.
void directive_default() {
  std::string& name = handler_texts.name;
  std::string& value = handler_texts.value;
  read_checked_name(name);
  const MacroEntry* entry = find_macro(name);
  if (entry != nullptr) copy_value(entry, value);
  if (entry == nullptr || value.empty()) {
    if (entry != nullptr) remove_macro(name);
    expand_text(line.line_rest, value, false, TextKind::Directive);
    define_macro(name, value);
  }
  set_trace(name, value);
}

/// #undef: removes every macro named, counting the entries removed.
void directive_undef() {
  std::string& name = handler_texts.name;
  std::string& removed = handler_texts.value;
  removed.clear();
  const int before = macro_count();
  while (!line.line_rest.empty()) {
    read_name_field(name);
    if (remove_macro(name) == -1) continue;
    removed.append(name);
    if (!line.line_rest.empty()) removed.push_back(' ');
  }
  set_trace(removed, removal_count_text(before - macro_count()));
}

/// #cat: appends field texts or macro values to the first macro named.
void directive_cat() {
  std::string& name = handler_texts.name;
  std::string& field = handler_texts.field;
  std::string& value = handler_texts.value;
  read_name_field(name);
  while (!line.line_rest.empty()) {
    line.line_rest = next_field(line.line_rest, field);
    concatenate_piece(name, field);
  }
  copy_value(find_macro(name), value);
  set_trace(name, value);
}

/// #freeze: protects the named macros from expansion.
void directive_freeze() { change_protection(kFreeze); }

/// #melt: takes that protection away again.
void directive_melt() { change_protection(kMelt); }

/// #ask: defines an undefined macro from the user's answer on standard input.
void directive_ask() {
  std::string& name = handler_texts.name;
  std::string& value = handler_texts.value;
  read_checked_name(name);
  if (const MacroEntry* entry = find_macro(name)) {
    copy_value(entry, value);
  } else {
    std::string& question = handler_texts.message;
    std::string& answer = handler_texts.field;
    expand_text(line.line_rest, question, false, TextKind::Directive);
    drop_char_in_place(question, '\'');
    drop_char_in_place(question, '`');
    if (modes.verbose || modes.comment) err_write("\n");
    err_write(format("\n **** %s\n", question));
    read_answer(answer);
    err_write("\n");
    expand_text(answer, value, false, TextKind::Directive);
    define_macro(name, value);
  }
  set_trace(name, value);
}

/// #list: makes an existing macro a list of the comma-separated parts of
/// its expanded value.
void directive_list() {
  std::string& name = handler_texts.name;
  std::string& parts = handler_texts.value;
  read_checked_name(name);
  const MacroEntry* entry = find_macro(name);
  if (entry == nullptr)
    fatal(format("KUP error - try to break into elements an undefined macro <%s>\n", name));
  expand_text(split_source(entry, handler_texts.current), parts, false, TextKind::Directive);
  if (parts.empty()) fatal(format("KUP error - try to break into elements an empty macro <%s>\n", name));
  remove_macro(name);
  define_macro(name, kListMarker);
  if (modes.verbose) err_write("\n");
  const long long count = define_elements(name, parts);
  set_trace("list", int_to_text(count));
}

}  // namespace kup
