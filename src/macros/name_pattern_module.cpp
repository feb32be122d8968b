// The pattern of KUP_UNDEFINED with its matcher loaded, on first use, from
// the module installed with kup (KUP_PATTERN_MODULE_INSTALLED, relative to
// the folder of the executable, which the loader names $ORIGIN) or found
// beside it (KUP_PATTERN_MODULE, as in the build tree).
#include <dlfcn.h>

#include <cstddef>
#include <string>

#include "macros/name_pattern.h"

namespace kup {

namespace {

/// The entry points of the module (see name_pattern_matcher.h).
struct Matcher {
  void* (*compile)(const char*, std::size_t) = nullptr;
  int (*match)(const void*, const char*, std::size_t) = nullptr;
  void (*free)(void*) = nullptr;
};

Matcher matcher;
void* pattern = nullptr;

/// Loads the module once per process; false, with the reason in `why`,
/// when it cannot be loaded.
bool load_matcher(std::string& why) {
  if (matcher.compile != nullptr) return true;
  void* module = nullptr;
  for (const char* path : {"$ORIGIN/" KUP_PATTERN_MODULE_INSTALLED, "$ORIGIN/" KUP_PATTERN_MODULE}) {
    module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) break;
    if (const char* error = dlerror(); error != nullptr && why.empty()) why = error;
  }
  if (module == nullptr) return false;
  Matcher found;
  found.compile = reinterpret_cast<decltype(found.compile)>(dlsym(module, "kup_pattern_compile"));
  found.match = reinterpret_cast<decltype(found.match)>(dlsym(module, "kup_pattern_match"));
  found.free = reinterpret_cast<decltype(found.free)>(dlsym(module, "kup_pattern_free"));
  if (found.compile == nullptr || found.match == nullptr || found.free == nullptr) {
    why = "the module lacks its entry points";
    return false;
  }
  matcher = found;
  return true;
}

}  // namespace

PatternStatus set_name_pattern(std::string_view text, std::string& why) {
  reset_name_pattern();
  if (!load_matcher(why)) return PatternStatus::Unavailable;
  pattern = matcher.compile(text.data(), text.size());
  return pattern != nullptr ? PatternStatus::Compiled : PatternStatus::Invalid;
}

bool matches_name_pattern(std::string_view name) {
  return pattern != nullptr && matcher.match(pattern, name.data(), name.size()) != 0;
}

void reset_name_pattern() {
  if (pattern != nullptr) matcher.free(pattern);
  pattern = nullptr;
}

}  // namespace kup
