// The warnings of KUP_EXTRA_WARNINGS and KUP_UNDEFINED about the fields of
// data lines: a value that loses single quotes, and a field that should
// name a macro and names none.
#pragma once

#include <string_view>

#include "macros/macro_table.h"

namespace kup {

/// True for a value whose single quotes are more than one pair around the
/// whole of it: dropping them changes what the reader meant to write.
bool quotes_lost_in_value(std::string_view value);

/// Under KUP_EXTRA_WARNINGS=1, the value of `entry` has just replaced a
/// field of a data line, its single quotes dropped: warns once per line and
/// macro when quotes_lost_in_value holds, or when the quotes were dropped
/// before the value was stored.
void note_dropped_quotes(const MacroEntry* entry, std::string_view value);

/// Under KUP_UNDEFINED, before a data line is expanded: warns once for each
/// field of `text` that would be looked up, matches the pattern whole and
/// names no macro. In prefix mode the expansion itself reports the
/// prefixed fields, so only indirections are checked here.
void check_undefined_fields(std::string_view text, bool prefix_mode);

/// Forgets what was reported on the line last seen.
void reset_field_warnings();

}  // namespace kup
