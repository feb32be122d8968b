#include "ls/directive_words.h"

namespace kup::ls {

namespace {

constexpr DirectiveWord kWords[] = {
    {"define", "#define name [value]", "Define name as value with its macro names replaced."},
    {"default", "#default name [value]", "Define name only if it is undefined or empty."},
    {"undef", "#undef name [name ...]", "Remove the macros (a list with its elements)."},
    {"cat", "#cat name [value ...]",
     "Append the values of the named macros (or the words themselves) to name, with nothing between them."},
    {"freeze", "#freeze name [name ...]", "Enclose the values in backquotes, so that they are not expanded again."},
    {"melt", "#melt name [name ...]", "Remove the backquotes of the values."},
    {"ask", "#ask name [question]",
     "If name is undefined, write the question on standard error and define name as the answer, one line read "
     "from standard input."},
    {"list", "#list name", "Split the value of name at its commas into the elements name[0], name[1], and so on."},
    {"int", "#int name [expr]", "Define name as the value of expr rounded to a whole number."},
    {"real", "#real[digits] name [expr]", "The same in exponent notation with digits decimals (6 by default)."},
    {"fix", "#fix[digits] name [expr]", "The same in fixed notation with digits decimals (2 by default)."},
    {"if", "#if expr", "Process the block if the value of expr, rounded to a whole number, is not 0."},
    {"ifdef", "#ifdef name [value]", "Process the block if name is defined (and equal to value, if given)."},
    {"ifndef", "#ifndef name [value]", "Process the block if name is undefined (or not equal to value, if given)."},
    {"else", "#else", "Process what follows if the block was not processed."},
    {"endif", "#endif", "End the block."},
    {"skip", "#skip [expr]", "Toggle Skip Mode, or set it if expr is not 0 and reset it if it is 0."},
    {"include", "#include 'pathname'", "Process the file, then go on after the directive."},
    {"insert", "#insert 'pathname'", "Copy the file to standard output unprocessed."},
    {"exit", "#exit [message]",
     "Leave the current file (in the bottom file: end the run), writing the message on standard error."},
    {"msg", "#msg [message]", "Write the message on standard error."},
    {"quit", "#quit [message]", "End the run normally, writing the message on standard error."},
    {"stop", "#stop [message]", "The same, obeyed also in Skip Mode and in blocks that are not processed."},
    {"abort", "#abort [message]", "End the run with exit status 1 and the message as a user error."},
    {"#", "## [comment]", "A comment, shown on standard error in Comment Mode."},
    {"*", "#* [comment]", "A comment, never shown."},
    {"verbose", "#verbose [expr]", "Toggle Verbose Mode, or set or reset it as expr is not 0 or 0."},
    {"macro", "#macro [name...]", "List all macros, or the named ones, on standard error."},
    {"tag", "#tag [text]", "Name the current file text in location lines and in $T."},
    {"status", "#status [title]", "Write the state of the input files and of the modes on standard error."},
};

}  // namespace

std::span<const DirectiveWord> directive_words() { return kWords; }

const DirectiveWord* find_directive_word(std::string_view word) {
  for (const DirectiveWord& entry : kWords)
    if (entry.word == word) return &entry;
  return nullptr;
}

bool defines_macro(std::string_view word) {
  for (const std::string_view defining : {"define", "default", "cat", "ask", "list", "int", "real", "fix"})
    if (word == defining) return true;
  return false;
}

}  // namespace kup::ls
