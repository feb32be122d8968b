// The pattern of KUP_UNDEFINED: an ECMAScript regular expression that the
// fields of data lines are matched against, whole.
//
// kup itself loads the matcher from a module of its own only when the
// variable is set: the regular expressions of the C++ library bring its
// locales, whose relocations and symbols would otherwise be resolved at
// every start. The tests and kup-ls link the matcher in.
#pragma once

#include <string>
#include <string_view>

namespace kup {

/// What set_name_pattern found.
enum class PatternStatus {
  Compiled,     ///< the pattern is set
  Invalid,      ///< the text is no regular expression
  Unavailable,  ///< the matcher could not be loaded (the reason in `why`)
};

/// Compiles `pattern` as the one that matches_name_pattern uses, in place
/// of any before.
PatternStatus set_name_pattern(std::string_view pattern, std::string& why);

/// True when the whole of `name` matches the pattern set; false while none is.
bool matches_name_pattern(std::string_view name);

/// Drops the pattern set.
void reset_name_pattern();

}  // namespace kup
