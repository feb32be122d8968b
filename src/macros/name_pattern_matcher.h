// The matcher behind the pattern of KUP_UNDEFINED, with plain C entry
// points: linked into a program, or built as the module that kup loads.
#pragma once

#include <cstddef>

extern "C" {

/// A compiled pattern, or nullptr when `text` is no ECMAScript regular
/// expression (or memory ran out). Throws nothing.
void* kup_pattern_compile(const char* text, std::size_t size);

/// 1 when the whole of `name` matches `pattern`, else 0. Throws nothing.
int kup_pattern_match(const void* pattern, const char* name, std::size_t size);

/// Frees a pattern of kup_pattern_compile.
void kup_pattern_free(void* pattern);
}
