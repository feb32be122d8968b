// #int, #real and #fix: a macro defined from the value of an expression,
// or an existing macro cast to a number form.
#include <climits>
#include <string>
#include <string_view>

#include "directives/directives.h"
#include "directives/handler_support.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/text_format.h"
#include "expr/expr.h"
#include "macros/expansion.h"
#include "macros/field_scanner.h"
#include "macros/macro_table.h"
#include "text/char_classes.h"

namespace kup {

namespace {

/// One number form: its letter, the word that messages use, the precision
/// used without a digits field, and the sign a digits field gets.
struct TypedForm {
  char letter;
  std::string_view word;
  int default_precision;
  int digits_sign;  ///< 0: no digits field
};

constexpr TypedForm kForms[] = {
    {'i', "int", 0, 0},
    {'r', "real", -6, -1},
    {'f', "fix", 2, 1},
};

const TypedForm& form_of(char letter) {
  for (const TypedForm& form : kForms)
    if (form.letter == letter) return form;
  return kForms[0];
}

/// The leading decimal integer of `text`, held at INT_MAX instead of
/// overflowing.
int leading_digits(std::string_view text) {
  long long value = 0;
  for (char c : text) {
    if (!ctype::is(c, ctype::kDigit)) break;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

/// Evaluates the stored value of the existing macro `name` again and
/// stores the result in `value` and as its new value, with no
/// redefinition warning. `value` stays empty when there is no such macro.
void cast_macro(const TypedForm& form, int precision, const std::string& name, std::string& value) {
  check_identifier(name, "macro");
  const MacroEntry* entry = find_macro(name);
  if (entry == nullptr) {
    warn("KUP warning - try to cast to %s an undefined macro <%s>\n", form.word, name);
    return;
  }
  if (is_list(entry)) fatal("KUP error - casting a list is forbidden\n");
  std::string& expression = handler_texts.expanded;
  expand_text(entry->value, expression, false, TextKind::Directive);
  if (expression.empty())
    fatal(format("KUP error - try to cast to %s an empty macro <%s>\n", form.word, name));
  evaluate_to_text(expression, value, precision);
  remove_macro(name);
  define_macro(name, value);
}

}  // namespace

int default_precision(char letter) { return form_of(letter).default_precision; }

/// #int, #real, #fix: defines a macro from an expression, or casts an
/// existing one when no expression follows the name.
void directive_typed(char letter) {
  const TypedForm& form = form_of(letter);
  std::string& name = handler_texts.name;
  std::string& value = handler_texts.value;
  line.line_rest = next_field(line.line_rest, name);
  int precision = form.default_precision;
  if (form.digits_sign != 0 && !name.empty() && ctype::is(name.front(), ctype::kDigit)) {
    precision = form.digits_sign * leading_digits(name);
    line.line_rest = next_field(line.line_rest, name);
  }
  resolve_indirection(name);
  std::string& expression = handler_texts.expanded;
  expand_text(line.line_rest, expression, false, TextKind::Directive);
  value.clear();
  if (expression.empty()) {
    cast_macro(form, precision, name, value);
  } else {
    evaluate_to_text(expression, value, precision);
    define_macro(name, value);
  }
  set_trace(name, value);
}

}  // namespace kup
