#include "macros/field_warnings.h"

#include <algorithm>
#include <vector>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/environment.h"
#include "driver/text_format.h"

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
  warn("KUP warning - single quotes dropped from the value of macro <%s>\n", entry->name);
}

void reset_field_warnings() {
  quote_reports = QuoteReports{};
}

}  // namespace kup
