#include "macros/field_warnings.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/environment.h"
#include "driver/text_format.h"
#include "macros/field_scanner.h"
#include "macros/name_pattern.h"

namespace kup {

namespace {

/// The macros whose lost quotes were reported on the data line being
/// expanded. A data line's expansion is written as one output line, so the
/// count of output lines before it tells one data line from the next.
struct QuoteReports {
  long long line = -1;
  std::vector<const MacroEntry*> macros;
};

QuoteReports quote_reports;

/// The fields of the current line reported by check_undefined_fields; a
/// cache that only keeps its storage from one line to the next.
std::vector<std::string_view> undefined_reported;

/// The answers of KUP_UNDEFINED's pattern for the names asked so far in
/// the run: a name recurs on many lines, and the regular expression costs
/// far more than a lookup. Emptied when it holds kMaxAnswers names.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};
std::unordered_map<std::string, bool, NameHash, std::equal_to<>> pattern_answers;
constexpr std::size_t kMaxAnswers = 4096;

/// matches_name_pattern, remembered.
bool matches_pattern(std::string_view name) {
  if (const auto known = pattern_answers.find(name); known != pattern_answers.end()) return known->second;
  if (pattern_answers.size() >= kMaxAnswers) pattern_answers.clear();
  const bool match = matches_name_pattern(name);
  pattern_answers.emplace(name, match);
  return match;
}

/// The name that the field is looked up as, or the empty text when it is
/// not looked up or is not checked: a backquoted field never is; an
/// indirection looks up the name after its "@" (what that leads to is not
/// followed); in prefix mode only indirections are checked.
std::string_view checked_name(std::string_view field, bool prefix_mode) {
  if (field.empty() || field.front() == '`') return {};
  if (field.front() == '@') {
    field.remove_prefix(1);
    return field.empty() || field.front() == '@' ? std::string_view{} : field;
  }
  return prefix_mode ? std::string_view{} : field;
}

}  // namespace

bool quotes_lost_in_value(std::string_view value) {
  const std::size_t first = value.find('\'');
  if (first == std::string_view::npos) return false;
  const bool enclosed = first == 0 && value.size() >= 2 && value.back() == '\'' &&
                        value.find('\'', 1) == value.size() - 1;
  return !enclosed;
}

void note_dropped_quotes(const MacroEntry* entry, std::string_view value) {
  if (entry->list || !(entry->quotes_dropped || quotes_lost_in_value(value))) return;
  QuoteReports& reports = quote_reports;
  if (reports.line != modes.output_line) {
    reports.line = modes.output_line;
    reports.macros.clear();
  }
  if (std::find(reports.macros.begin(), reports.macros.end(), entry) != reports.macros.end()) return;
  reports.macros.push_back(entry);
  warn("KUP warning - single quotes dropped from the value of macro <%s>\n", entry->name());
}

void check_undefined_fields(std::string_view text, bool prefix_mode) {
  std::vector<std::string_view>& reported = undefined_reported;
  reported.clear();
  const char* const end = text.data() + text.size();
  for (const char* p = text.data(); p != end;) {
    const FieldBounds b = scan_bounds(p, end);
    if (b.start == b.stop) break;
    const std::string_view name =
        checked_name({b.start, static_cast<std::size_t>(b.stop - b.start)}, prefix_mode);
    if (!name.empty() && find_macro(name) == nullptr &&
        std::find(reported.begin(), reported.end(), name) == reported.end() &&
        matches_pattern(name)) {
      reported.push_back(name);
      warn("KUP warning - undefined macro <%s>\n", name);
    }
    if (b.after != end && *b.after == '\n') break;
    p = b.after;
  }
}

void reset_field_warnings() {
  quote_reports = QuoteReports{};
  undefined_reported.clear();
  pattern_answers.clear();
}

}  // namespace kup
