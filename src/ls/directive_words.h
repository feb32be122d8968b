// The directive words with the one-line description of each, for hover
// and completion.
#pragma once

#include <span>
#include <string_view>

namespace kup::ls {

/// A directive word, how it is written and what it does.
struct DirectiveWord {
  std::string_view word;
  std::string_view synopsis;
  std::string_view description;
};

/// Every directive word.
std::span<const DirectiveWord> directive_words();

/// The entry of `word`, or null.
const DirectiveWord* find_directive_word(std::string_view word);

/// True for the words whose first argument is the name of the macro the
/// line defines.
bool defines_macro(std::string_view word);

}  // namespace kup::ls
