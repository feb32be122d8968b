// The numbers the Language Server Protocol gives the kinds, severities and
// tags the server sends.
#pragma once

namespace kup::ls {

/// Kinds of document symbols.
inline constexpr int kSymbolVariable = 13;
inline constexpr int kSymbolNumber = 16;
inline constexpr int kSymbolArray = 18;

/// Kinds of completion items.
inline constexpr int kCompletionVariable = 6;
inline constexpr int kCompletionKeyword = 14;

/// Severities of diagnostics, and the tag of code that has no effect.
inline constexpr int kSeverityError = 1;
inline constexpr int kSeverityWarning = 2;
inline constexpr int kSeverityHint = 4;
inline constexpr int kTagUnnecessary = 1;

}  // namespace kup::ls
