#include "expr/parser.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/diagnostics.h"
#include "driver/environment.h"
#include "driver/text_format.h"
#include "expr/evaluator_state.h"
#include "expr/expr.h"
#include "macros/field_scanner.h"
#include "text/char_classes.h"

namespace kup {

namespace {

/// The deepest nesting of compile_span. A text of 1023 characters cannot
/// come near it, since every level consumes at least one character.
constexpr int kMaxNesting = 2048;

/// The dyadic operators in the order a run is compared with them.
constexpr DyadicOperator kDyadicOperators[] = {
    {"+", kCodeAdd, "KUP error - expected valid expression following '+'\n"},
    {"-", kCodeSubtract, "KUP error - expected valid expression following '-'\n"},
    {"*", kCodeMultiply, "KUP error - expected valid expression following '*'\n"},
    {"/", kCodeDivide, "KUP error - expected valid expression following '/'\n"},
    {"%", kCodeRemainder, "KUP error - expected valid expression following '%%'\n"},
    {"^", kCodePower, "KUP error - expected valid expression following '^'\n"},
    {">", kCodeGreater, "KUP error - expected valid expression following '>'\n"},
    {"<", kCodeLess, "KUP error - expected valid expression following '<'\n"},
    {">=", kCodeGreaterEqual, "KUP error - expected valid expression following '>='\n"},
    {"<=", kCodeLessEqual, "KUP error - expected valid expression following '<='\n"},
    {"==", kCodeEqual, "KUP error - expected valid expression following '=='\n"},
    {"!=", kCodeNotEqual, "KUP error - expected valid expression following '!='\n"},
    {"||", kCodeOr, "KUP error - expected valid expression following '||'\n"},
    {"&&", kCodeAnd, "KUP error - expected valid expression following '&&'\n"},
};

/// How tightly each dyadic operator binds in the precedence that readers
/// of C, shell and mathematics expect, by code: "^" (the power) above
/// "*" "/" "%", then "+" "-", the comparisons, "==" "!=", "&&" and "||".
/// kup itself applies them all left to right.
constexpr std::array<signed char, kCodeLast + 1> kUsualRank = [] {
  std::array<signed char, kCodeLast + 1> rank{};
  rank[kCodePower] = 6;
  rank[kCodeMultiply] = rank[kCodeDivide] = rank[kCodeRemainder] = 5;
  rank[kCodeAdd] = rank[kCodeSubtract] = 4;
  rank[kCodeGreater] = rank[kCodeLess] = rank[kCodeGreaterEqual] = rank[kCodeLessEqual] = 3;
  rank[kCodeEqual] = rank[kCodeNotEqual] = 2;
  rank[kCodeAnd] = 1;
  rank[kCodeOr] = 0;
  return rank;
}();

/// Notes, for the warning of KUP_EXTRA_WARNINGS, whether the dyadic
/// operator `code` that follows `previous` (0 for none) at one level of
/// parentheses makes left to right group otherwise than the usual
/// precedence: it binds tighter, or both are "^", which mathematics groups
/// from the right.
inline void note_grouping(std::int32_t previous, std::int32_t code) {
  if (previous == 0) return;
  if (kUsualRank[code] > kUsualRank[previous] || (code == kCodePower && previous == kCodePower))
    evaluator.grouping_differs = true;
}

/// A monadic operator written as a name or a sign, with its code.
struct MonadicName {
  std::string_view name;
  std::int32_t code;
};

/// The function names, compared whole and case-sensitively.
constexpr MonadicName kFunctions[] = {
    {"sin", kCodeSin},     {"cos", kCodeCos},     {"tan", kCodeTan},
    {"asin", kCodeAsin},   {"acos", kCodeAcos},   {"atan", kCodeAtan},
    {"sinh", kCodeSinh},   {"cosh", kCodeCosh},   {"tanh", kCodeTanh},
    {"log", kCodeLog},     {"log10", kCodeLog10}, {"exp", kCodeExp},
    {"floor", kCodeFloor}, {"ceil", kCodeCeil},   {"round", kCodeRound},
    {"abs", kCodeAbs},     {"sign", kCodeSign},
};

/// Ends the run when compile_span is nested too deep for the machine stack.
void check_nesting() {
  if (evaluator.nesting >= kMaxNesting)
    fatal(format("KUP error - expression too complex (more than %d nested levels)\n", kMaxNesting));
}

bool is_space(char c) { return ctype::is(c, ctype::kSpace); }
bool is_digit(char c) { return ctype::is(c, ctype::kDigit); }
bool is_operator_char(char c) { return ctype::is(c, ctype::kOperator); }
bool is_name_char(char c) { return ctype::is(c, ctype::kExprName); }
bool is_name_start(char c) { return is_name_char(c) && !is_digit(c); }

/// The first position of the span that is no white space.
const char* skip_space(Span at) {
  const char* p = at.begin;
  while (p < at.end && is_space(*p)) ++p;
  return p;
}

/// Under KUP_EXTRA_WARNINGS=1, before the error for `name`, a name of the
/// expression text that is no function: when the field of the text that
/// holds it also holds operator characters (CORES>=4, A&&B, !DEBUG), the
/// name was glued to an operator and so was never looked up as a macro.
[[gnu::noinline]] void warn_glued_operator(std::string_view name) {
  const std::string_view text = evaluator.text;
  const char* const end = text.data() + text.size();
  if (name.data() < text.data() || name.data() >= end) return;
  for (const char* p = text.data(); p != end;) {
    const FieldBounds b = scan_bounds(p, end);
    if (b.start == b.stop) return;
    if (name.data() < b.stop) {
      const std::string_view field(b.start, static_cast<std::size_t>(b.stop - b.start));
      for (char c : field)
        if (ctype::is(c, ctype::kOperator)) {
          warn("KUP warning - field <%s> glues the name %s to an operator, so %s is not replaced: "
                      "put blanks around the operator\n",
                      field, name, name);
          return;
        }
      return;
    }
    p = b.after;
  }
}

/// The code of a function name; an unknown name ends the run.
std::int32_t function_code(std::string_view name) {
  for (const MonadicName& function : kFunctions)
    if (function.name == name) return function.code;
  if (settings.extra_warnings) warn_glued_operator(name);
  fatal(format("%s %s\n", "KUP error - unknown monadic operator:", name));
}

/// The code of a one-character monadic operator, or -1 for any other character.
std::int32_t sign_code(char c) {
  switch (c) {
    case '!': return kCodeNot;
    case '+': return kCodeNothing;
    case '-': return kCodeNegate;
    default: return -1;
  }
}

/// The dyadic operator spelt by `run`, or null.
const DyadicOperator* find_dyadic(std::string_view run) {
  if (run.empty()) return nullptr;
  for (const DyadicOperator& op : kDyadicOperators)
    if (op.text[0] == run[0] && op.text == run) return &op;
  return nullptr;
}

/// The deepest nesting of groups that PlainCompiler takes on; deeper ones
/// go to compile_span, which knows the limit and its message.
constexpr int kPlainNesting = 64;

/// A single pass over a plain expression: number literals of digits only,
/// groups and dyadic operators, with white space between. For such a text
/// it writes the code compile_span writes: operands in order, each
/// operator after its right operand. It stops short, returning false, at
/// whatever else it meets (a sign, a name, a point or exponent, a run of
/// operator characters that is no dyadic operator, a fault, a full list);
/// the caller then starts again with compile_span. With `kCheckGrouping`
/// it also notes, for KUP_EXTRA_WARNINGS, where left to right groups
/// otherwise than the usual precedence.
template <bool kCheckGrouping>
class PlainCompiler {
 public:
  PlainCompiler(const char* begin, const char* end) : p_(begin), end_(end) {}

  /// Compiles the whole text; false if it is no plain expression.
  bool compile() { return operands(false) && p_ == end_; }

 private:
  void skip_space() {
    while (p_ != end_ && is_space(*p_)) ++p_;
  }

  bool append(std::int32_t code) {
    CodeList& list = evaluator.code_list;
    if (list.count == CodeList::kCapacity) return false;
    list.codes[list.count++] = code;
    return true;
  }

  /// A literal of digits or a group, and the white space after it.
  bool operand() {
    if (p_ == end_) return false;
    if (*p_ == '(') {
      if (++nesting_ > kPlainNesting) return false;
      ++p_;
      skip_space();
      if (!operands(true)) return false;
      ++p_;  // the ")"
      --nesting_;
    } else if (is_digit(*p_)) {
      const char* const start = p_;
      while (p_ != end_ && is_digit(*p_)) ++p_;
      if (p_ != end_ && (*p_ == '.' || *p_ == 'e' || *p_ == 'E')) return false;
      ConstantPool& pool = evaluator.constant_pool;
      if (pool.count == ConstantPool::kCapacity) return false;
      pool.values[pool.count++] = literal_value({start, p_});
      if (!append(kCodeLiteral)) return false;
    } else {
      return false;
    }
    skip_space();
    return true;
  }

  /// Operands joined by dyadic operators, up to the end of the text or,
  /// inside a group, up to its ")".
  bool operands(bool in_group) {
    if (!operand()) return false;
    [[maybe_unused]] std::int32_t previous = 0;
    for (;;) {
      if (p_ == end_) return !in_group;
      if (*p_ == ')') return in_group;
      const char* const run = p_;
      while (p_ != end_ && is_operator_char(*p_)) ++p_;
      const DyadicOperator* op = find_dyadic({run, static_cast<std::size_t>(p_ - run)});
      if (op == nullptr) return false;
      if constexpr (kCheckGrouping) {
        note_grouping(previous, op->code);
        previous = op->code;
      }
      skip_space();
      if (!operand() || !append(op->code)) return false;
    }
  }

  const char* p_;
  const char* const end_;
  int nesting_ = 0;
};

/// The value of any literal by the library's conversion. A literal holds
/// only digits, points, exponent letters and the signs behind them, so
/// strtod reads exactly a decimal number from the copy.
[[gnu::noinline]] double converted_value(Span literal) {
  std::string copy(literal.text());
  return std::strtod(copy.c_str(), nullptr);
}

/// A group at the span's start (a "("): its inside is the extent.
OperandScan scan_group(Span at) {
  const char* inside = skip_space(at.from(at.begin + 1));
  if (inside == at.end) fatal("KUP error - unable to evaluate expression\n");
  int depth = 1;
  for (const char* p = at.begin + 1; p < at.end; ++p) {
    if (*p == '(') ++depth;
    if (*p == ')' && --depth == 0) {
      OperandScan group;
      group.found = true;
      group.extent = {inside, p};
      group.close = p + 1;
      group.next = skip_space(at.from(p + 1));
      return group;
    }
  }
  fatal("KUP error - unable to evaluate expression\n");
}

/// A number literal at the span's start.
OperandScan scan_literal(Span at) {
  OperandScan literal;
  literal.found = true;
  literal.close = scan_number(at);
  literal.extent = {at.begin, literal.close};
  literal.next = skip_space(at.from(literal.close));
  return literal;
}

/// A span's form, with what was found while telling it: the end of a lone
/// number, or the monadic operator at the start of a monadic form.
struct SpanShape {
  SpanForm form = SpanForm::General;
  const char* number_end = nullptr;
  MonadicScan op;
};

/// Tells the form of a span by the rules of classify_span.
SpanShape shape_of(Span span) {
  SpanShape shape;
  if (span.empty()) return shape;
  if (is_digit(*span.begin)) {
    // A digit begins no monadic operator: a lone number or the general form.
    const char* number_end = scan_number(span);
    if (skip_space(span.from(number_end)) == span.end) {
      shape.form = SpanForm::LoneNumber;
      shape.number_end = number_end;
    }
    return shape;
  }
  shape.op = scan_monadic(span);
  if (shape.op.found) {
    OperandScan operand = scan_operand(span.from(shape.op.next));
    if (operand.found && operand.next == span.end) shape.form = SpanForm::Monadic;
  }
  return shape;
}

/// Compiles a lone number that ends at `number_end`: its value goes to the
/// pool, code 1 to the list.
void compile_literal(Span span, const char* number_end) {
  evaluator.constant_pool.append(literal_value({span.begin, number_end}));
  evaluator.code_list.append(kCodeLiteral);
}

/// Compiles the monadic operator `op` found at the span's start and the
/// rest of the span as its operand.
void compile_monadic(Span span, const MonadicScan& op) {
  compile_span(span.from(op.next));
  if (op.code != kCodeNothing) evaluator.code_list.append(op.code);
}

/// Compiles operands joined by dyadic operators, strictly left to right.
void compile_general(Span span) {
  OperandScan first = scan_operand(span);
  if (!first.found) fatal("KUP error - regular expression expected\n");
  compile_span(first.extent);
  const bool check_grouping = settings.extra_warnings;
  std::int32_t previous = 0;
  const char* position = first.next;
  while (position < span.end) {
    OperatorScan op = scan_operator(span.from(position));
    if (!op.found) fatal("KUP error - dyadic operator expected\n");
    position = op.next;
    // A run that spells no dyadic operator is passed over; an operand
    // behind it then meets the check above.
    if (op.dyadic == nullptr) continue;
    OperandScan right = scan_operand(span.from(position));
    if (!right.found) fatal(format(op.dyadic->missing_operand));
    if (check_grouping) note_grouping(previous, op.dyadic->code);
    previous = op.dyadic->code;
    compile_span(right.extent);
    evaluator.code_list.append(op.dyadic->code);
    position = right.next;
  }
}

}  // namespace

void CodeList::append(std::int32_t code) {
  if (count == kCapacity)
    fatal(format("KUP error - expression too complex (more than %d codes)\n",
                 static_cast<int>(kCapacity)));
  codes[count++] = code;
}

void ConstantPool::append(double value) {
  if (count == kCapacity)
    fatal(format("KUP error - expression too complex (more than %d numbers)\n",
                 static_cast<int>(kCapacity)));
  values[count++] = value;
}

void check_parentheses(std::string_view text) {
  long depth = 0;
  for (char c : text) {
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0) break;
  }
  if (depth != 0)
    fatal(format("KUP error - unmatched parenthesis into expression <%s>\n", text));
}

MonadicScan scan_monadic(Span at) {
  if (at.empty()) return {};
  MonadicScan result;
  const char* after = at.begin + 1;
  std::int32_t sign = sign_code(*at.begin);
  if (sign >= 0) {
    result.code = sign;
  } else if (is_name_start(*at.begin)) {
    while (after < at.end && is_name_char(*after)) ++after;
    result.code = function_code({at.begin, static_cast<std::size_t>(after - at.begin)});
  } else {
    return {};
  }
  result.found = true;
  result.next = skip_space(at.from(after));
  return result;
}

const char* scan_number(Span at) { return number_end(at.begin, at.end); }

double literal_value(Span literal) {
  // A whole number of up to 15 digits is exact in a double: no library
  // conversion is needed for the most common literal.
  if (literal.end - literal.begin <= 15) {
    std::int64_t whole = 0;
    const char* p = literal.begin;
    while (p != literal.end && is_digit(*p)) whole = whole * 10 + (*p++ - '0');
    if (p == literal.end) return static_cast<double>(whole);
  }
  return converted_value(literal);
}

OperandScan scan_operand(Span at) {
  // Pass over a chain of monadic operators (--2, sin cos 0) to the group or
  // literal they apply to.
  // Most operands are a group or a literal, and neither "(" nor a digit
  // begins a monadic operator.
  Span rest = at;
  if (rest.empty() || (*rest.begin != '(' && !is_digit(*rest.begin)))
    for (MonadicScan op = scan_monadic(rest); op.found; op = scan_monadic(rest))
      rest = rest.from(op.next);
  OperandScan operand;
  if (!rest.empty() && *rest.begin == '(')
    operand = scan_group(rest);
  else if (!rest.empty() && is_digit(*rest.begin))
    operand = scan_literal(rest);
  if (!operand.found) return {};
  // Monadic operators take their whole operand, closing parenthesis
  // included, so that compile_span meets it again as a monadic form.
  if (rest.begin != at.begin) operand.extent = {at.begin, operand.close};
  return operand;
}

OperatorScan scan_operator(Span at) {
  const char* p = at.begin;
  while (p < at.end && is_operator_char(*p)) ++p;
  if (p == at.begin) return {};
  OperatorScan result;
  result.found = true;
  result.run = {at.begin, p};
  result.dyadic = find_dyadic(result.run.text());
  result.next = skip_space(at.from(p));
  return result;
}

SpanForm classify_span(Span span) { return shape_of(span).form; }

bool compile_plain(std::string_view text) {
  reset_evaluator();
  return PlainCompiler<false>(text.data(), text.data() + text.size()).compile();
}

namespace {

void append_grouping(Span span, std::string& out);

/// Appends an operand of a dyadic operator as kup groups it: a group in
/// its parentheses, a literal as written, a sign before its operand, and a
/// function with its operand in parentheses unless that operand is a group
/// (sin(2), but (sin 2)).
void append_operand(Span at, const OperandScan& operand, std::string& out) {
  const char c = *at.begin;
  const bool group = c == '(';
  const bool bare_function = is_name_start(c) && *scan_monadic(at).next != '(';
  if (group || bare_function) out += '(';
  append_grouping(group ? operand.extent : Span{at.begin, operand.close}, out);
  if (group || bare_function) out += ')';
}

/// Appends operands joined by dyadic operators, each operation that is the
/// left operand of the next in parentheses.
void append_general_grouping(Span span, std::string& out) {
  const std::size_t start = out.size();
  const OperandScan first = scan_operand(span);
  append_operand(span, first, out);
  bool joined = false;
  for (const char* position = first.next; position < span.end;) {
    const OperatorScan op = scan_operator(span.from(position));
    position = op.next;
    if (op.dyadic == nullptr) continue;
    if (joined) {
      out.insert(start, 1, '(');
      out += ')';
    }
    out += ' ';
    out += op.dyadic->text;
    out += ' ';
    const OperandScan right = scan_operand(span.from(position));
    append_operand(span.from(position), right, out);
    position = right.next;
    joined = true;
  }
}

/// Appends the text of a span that compiled, with the parentheses that
/// show how kup groups it.
void append_grouping(Span span, std::string& out) {
  const SpanShape shape = shape_of(span);
  switch (shape.form) {
    case SpanForm::LoneNumber:
      out.append(span.begin, shape.number_end);
      break;
    case SpanForm::Monadic: {
      // A sign is written against its operand, a function name before a
      // blank unless a group follows.
      const char* op_end = shape.op.next;
      while (op_end > span.begin && is_space(op_end[-1])) --op_end;
      out.append(span.begin, op_end);
      if (is_name_start(*span.begin) && *shape.op.next != '(') out += ' ';
      append_grouping(span.from(shape.op.next), out);
      break;
    }
    case SpanForm::General:
      append_general_grouping(span, out);
      break;
  }
}

/// The warning of KUP_EXTRA_WARNINGS for an expression that left to right
/// groups otherwise than the usual precedence.
[[gnu::noinline]] void warn_grouping(std::string_view text) {
  std::string grouping;
  append_grouping({text.data(), text.data() + text.size()}, grouping);
  warn("KUP warning - expression <%s> is evaluated left to right, as %s: suggest parentheses\n", text,
              grouping);
}

/// Keeps the text being compiled in the evaluator while it lives.
class CompiledText {
 public:
  explicit CompiledText(std::string_view text) { evaluator.text = text; }
  ~CompiledText() { evaluator.text = {}; }
  CompiledText(const CompiledText&) = delete;
  CompiledText& operator=(const CompiledText&) = delete;
};

/// Compiles a whole text whose parentheses balance: by the single pass
/// when it is plain, else by compile_span.
template <bool kCheckGrouping>
void compile_text(std::string_view text) {
  reset_evaluator();
  if (PlainCompiler<kCheckGrouping>(text.data(), text.data() + text.size()).compile()) return;
  reset_evaluator();
  compile_span({text.data(), text.data() + text.size()});
}

/// compile_text under KUP_EXTRA_WARNINGS=1, with the warnings of the
/// expression's traps.
[[gnu::noinline]] void compile_text_with_warnings(std::string_view text) {
  const CompiledText compiled(text);
  compile_text<true>(text);
  if (evaluator.grouping_differs) warn_grouping(text);
}

}  // namespace

void compile_expression(std::string_view text) {
  check_parentheses(text);
  if (settings.extra_warnings) [[unlikely]]
    compile_text_with_warnings(text);
  else
    compile_text<false>(text);
}

void compile_span(Span span) {
  check_nesting();
  NestingGuard level(evaluator.nesting);
  const SpanShape shape = shape_of(span);
  switch (shape.form) {
    case SpanForm::LoneNumber:
      compile_literal(span, shape.number_end);
      break;
    case SpanForm::Monadic:
      compile_monadic(span, shape.op);
      break;
    case SpanForm::General:
      compile_general(span);
      break;
  }
}

}  // namespace kup
