// The pattern of KUP_UNDEFINED with its matcher linked in.
#include "macros/name_pattern.h"
#include "macros/name_pattern_matcher.h"

namespace kup {

namespace {

void* pattern = nullptr;

}  // namespace

PatternStatus set_name_pattern(std::string_view text, std::string&) {
  reset_name_pattern();
  pattern = kup_pattern_compile(text.data(), text.size());
  return pattern != nullptr ? PatternStatus::Compiled : PatternStatus::Invalid;
}

bool matches_name_pattern(std::string_view name) {
  return pattern != nullptr && kup_pattern_match(pattern, name.data(), name.size()) != 0;
}

void reset_name_pattern() {
  if (pattern != nullptr) kup_pattern_free(pattern);
  pattern = nullptr;
}

}  // namespace kup
