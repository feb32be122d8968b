#include "expr/parser.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/diagnostics.h"
#include "driver/text_format.h"
#include "expr/expr.h"
#include "macros/field_scanner.h"

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

/// The one-character monadic operators; plus compiles to nothing.
constexpr MonadicName kSigns[] = {
    {"!", kCodeNot},
    {"+", kCodeNothing},
    {"-", kCodeNegate},
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

/// The code of a function name; an unknown name ends the run.
std::int32_t function_code(std::string_view name) {
  for (const MonadicName& function : kFunctions)
    if (function.name == name) return function.code;
  fatal(format("%s %s\n", "KUP error - unknown monadic operator:", name));
}

/// The code of a one-character monadic operator, or -1 for any other character.
std::int32_t sign_code(char c) {
  for (const MonadicName& sign : kSigns)
    if (sign.name[0] == c) return sign.code;
  return -1;
}

/// The dyadic operator spelt by `run`, or null.
const DyadicOperator* find_dyadic(std::string_view run) {
  for (const DyadicOperator& op : kDyadicOperators)
    if (op.text == run) return &op;
  return nullptr;
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

/// Compiles a lone number: its value goes to the pool, code 1 to the list.
void compile_literal(Span span) {
  evaluator.constant_pool.append(literal_value({span.begin, scan_number(span)}));
  evaluator.code_list.append(kCodeLiteral);
}

/// Compiles a monadic operator and the rest of the span as its operand.
void compile_monadic(Span span) {
  MonadicScan op = scan_monadic(span);
  compile_span(span.from(op.next));
  if (op.code != kCodeNothing) evaluator.code_list.append(op.code);
}

/// Compiles operands joined by dyadic operators, strictly left to right.
void compile_general(Span span) {
  OperandScan first = scan_operand(span);
  if (!first.found) fatal("KUP error - regular expression expected\n");
  compile_span(first.extent);
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
  const std::string_view text = literal.text();
  if (text.size() <= 15 && std::all_of(text.begin(), text.end(), is_digit)) {
    std::int64_t whole = 0;
    for (char c : text) whole = whole * 10 + (c - '0');
    return static_cast<double>(whole);
  }
  // A literal holds only digits, points, exponent letters and the signs
  // behind them, so strtod reads exactly a decimal number from the copy.
  std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

OperandScan scan_operand(Span at) {
  // Pass over a chain of monadic operators (--2, sin cos 0) to the group or
  // literal they apply to.
  Span rest = at;
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

SpanForm classify_span(Span span) {
  MonadicScan op = scan_monadic(span);
  if (op.found) {
    OperandScan operand = scan_operand(span.from(op.next));
    if (operand.found && operand.next == span.end) return SpanForm::Monadic;
  }
  if (!span.empty() && is_digit(*span.begin) &&
      skip_space(span.from(scan_number(span))) == span.end)
    return SpanForm::LoneNumber;
  return SpanForm::General;
}

void compile_expression(std::string_view text) {
  check_parentheses(text);
  reset_evaluator();
  compile_span({text.data(), text.data() + text.size()});
}

void compile_span(Span span) {
  check_nesting();
  NestingGuard level(evaluator.nesting);
  switch (classify_span(span)) {
    case SpanForm::LoneNumber:
      compile_literal(span);
      break;
    case SpanForm::Monadic:
      compile_monadic(span);
      break;
    case SpanForm::General:
      compile_general(span);
      break;
  }
}

}  // namespace kup
