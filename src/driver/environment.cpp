#include "driver/environment.h"

#include <cstdlib>
#include <optional>
#include <string_view>

#include "driver/diagnostics.h"
#include "driver/line_markers.h"
#include "driver/output_file.h"
#include "driver/text_format.h"
#include "input/dependencies.h"
#include "macros/class_masks.h"
#include "macros/name_pattern.h"
#include "platform/platform.h"

namespace kup {

EnvironmentSettings settings;

namespace {

/// The value of a variable; unset and empty are the same.
std::string_view variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

/// The folders of a search path. Empty entries name no folder and are
/// dropped: the current folder is always tried first anyway.
std::vector<std::string> split_search_path(std::string_view list) {
  std::vector<std::string> folders;
  while (!list.empty()) {
    const std::size_t end = list.find(kPathListSeparator);
    const std::string_view folder = list.substr(0, end);
    if (!folder.empty()) folders.emplace_back(folder);
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return folders;
}

/// KUP_DIAGNOSTICS: the form of warnings and errors, read first so that
/// the other variables' faults take it.
void read_diagnostic_form() {
  const std::string_view form = variable("KUP_DIAGNOSTICS");
  if (form == "gnu") {
    set_diagnostic_form(DiagnosticForm::Gnu);
  } else if (form == "json") {
    set_diagnostic_form(DiagnosticForm::Json);
  } else if (!form.empty()) {
    fatal_command_line(format("KUP error - KUP_DIAGNOSTICS is not gnu, json or empty: '%s'\n", form));
  }
}

/// KUP_SIMD: the way the class masks are built, the fastest this machine
/// has unless a way is named.
void choose_simd_way() {
  const std::string_view name = variable("KUP_SIMD");
  if (name.empty()) {
    use_simd_way(best_simd_way());
    return;
  }
  const std::optional<SimdWay> way = simd_way_named(name);
  if (!way) fatal_command_line(format("KUP error - KUP_SIMD is not scalar, ssse3, avx2 or empty: '%s'\n", name));
  if (!simd_way_available(*way))
    fatal_command_line(format("KUP error - KUP_SIMD names a way this machine lacks: '%s'\n", name));
  use_simd_way(*way);
}

/// A switch: "1" is on, "0" and empty are off; any other value ends the run.
bool switch_variable(const char* name) {
  const std::string_view value = variable(name);
  if (!value.empty() && value != "0" && value != "1")
    fatal_command_line(format("KUP error - %s is not 1, 0 or empty: '%s'\n", name, value));
  return value == "1";
}

/// KUP_UNDEFINED: compiles its pattern for the checks of data lines; true
/// while it is set. A pattern that does not compile ends the run.
bool read_undefined_pattern() {
  const std::string_view pattern = variable("KUP_UNDEFINED");
  if (pattern.empty()) return false;
  std::string why;
  switch (set_name_pattern(pattern, why)) {
    case PatternStatus::Compiled:
      return true;
    case PatternStatus::Invalid:
      fatal_command_line(format("KUP error - KUP_UNDEFINED is not a regular expression: '%s'\n", pattern));
    case PatternStatus::Unavailable:
      break;
  }
  fatal_command_line(format("KUP error - KUP_UNDEFINED cannot be checked, its matcher does not load: %s\n", why));
}

}  // namespace

void read_environment_settings() {
  settings = EnvironmentSettings{};
  read_diagnostic_form();
  settings.fatal_warnings = switch_variable("KUP_FATAL_WARNINGS");
  settings.extra_warnings = switch_variable("KUP_EXTRA_WARNINGS");
  settings.check_undefined = read_undefined_pattern();
  settings.search_path = split_search_path(variable("KUP_PATH"));
  const std::string_view marker_format = variable("KUP_LINE_MARKERS");
  if (!set_line_marker_format(marker_format))
    fatal_command_line(format("KUP error - KUP_LINE_MARKERS holds a '%%' not followed by l, f or %%: '%s'\n",
                              marker_format));
  choose_simd_way();
  settings.output = variable("KUP_OUTPUT");
  if (!settings.output.empty()) open_output_file(settings.output);
  settings.depfile = variable("KUP_DEPFILE");
  if (settings.depfile.empty()) return;
  settings.deptarget = variable("KUP_DEPTARGET");
  if (settings.deptarget.empty()) settings.deptarget = settings.output;
  if (settings.deptarget.empty())
    fatal_command_line(format("KUP error - KUP_DEPFILE is set but KUP_DEPTARGET is not: '%s'\n", settings.depfile));
  open_dependency_file(settings.depfile);
}

int status_after_warnings(int status) {
  return status == 0 && settings.fatal_warnings && settings.warnings_printed > 0 ? 1 : status;
}

void reset_environment_settings() {
  settings = EnvironmentSettings{};
  reset_name_pattern();
}

}  // namespace kup
