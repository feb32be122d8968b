#include "macros/name_pattern_matcher.h"

#include <exception>
#include <regex>

extern "C" {

void* kup_pattern_compile(const char* text, std::size_t size) {
  try {
    return new std::regex(text, text + size, std::regex::ECMAScript);
  } catch (const std::exception&) {
    return nullptr;
  }
}

int kup_pattern_match(const void* pattern, const char* name, std::size_t size) {
  try {
    return std::regex_match(name, name + size, *static_cast<const std::regex*>(pattern)) ? 1 : 0;
  } catch (const std::exception&) {
    // The matcher gave up (a pattern too complex for the text): no match.
    return 0;
  }
}

void kup_pattern_free(void* pattern) { delete static_cast<std::regex*>(pattern); }
}
