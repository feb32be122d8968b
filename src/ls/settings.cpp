#include "ls/settings.h"

#include <fnmatch.h>

namespace kup::ls {

namespace {

using nlohmann::json;

/// The variables a run in the server must not see: they make it write
/// files or change the form of its messages.
constexpr std::string_view kRefusedVariables[] = {"KUP_DEPFILE", "KUP_DEPTARGET", "KUP_OUTPUT",
                                                  "KUP_DIAGNOSTICS", "KUP_LINE_MARKERS", "KUP_PATH",
                                                  "KUP_EXTRA_WARNINGS"};

bool take_strings(const json& value, std::vector<std::string>& out) {
  if (!value.is_array()) return false;
  std::vector<std::string> strings;
  for (const json& item : value) {
    if (!item.is_string()) return false;
    strings.push_back(item.get<std::string>());
  }
  out = std::move(strings);
  return true;
}

bool take_patterns(const json& value, std::vector<PatternArguments>& out) {
  if (!value.is_array()) return false;
  std::vector<PatternArguments> patterns;
  for (const json& item : value) {
    if (!item.is_object() || !item.contains("pattern") || !item["pattern"].is_string()) return false;
    PatternArguments entry{item["pattern"].get<std::string>(), {}};
    if (item.contains("arguments") && !take_strings(item["arguments"], entry.arguments)) return false;
    patterns.push_back(std::move(entry));
  }
  out = std::move(patterns);
  return true;
}

bool take_environment(const json& value, std::vector<std::pair<std::string, std::string>>& out) {
  if (!value.is_object()) return false;
  std::vector<std::pair<std::string, std::string>> variables;
  for (const auto& [name, item] : value.items()) {
    if (!item.is_string() || name.rfind("KUP_", 0) != 0 || name.find('=') != std::string::npos) return false;
    bool refused = false;
    for (const std::string_view other : kRefusedVariables) refused = refused || name == other;
    if (!refused) variables.emplace_back(name, item.get<std::string>());
  }
  out = std::move(variables);
  return true;
}

}  // namespace

const std::vector<std::string>& Settings::arguments_for(std::string_view relative) const {
  const std::string path(relative);
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (const PatternArguments& entry : files)
    if (fnmatch(entry.pattern.c_str(), path.c_str(), 0) == 0 || fnmatch(entry.pattern.c_str(), name.c_str(), 0) == 0)
      return entry.arguments;
  return arguments;
}

void merge_settings(Settings& settings, const json& object, std::vector<std::string>& problems) {
  if (!object.is_object()) return;
  const auto bad = [&](const char* member, const char* wanted) {
    problems.push_back(std::string("setting \"") + member + "\" ignored: it must be " + wanted);
  };
  if (object.contains("arguments") && !take_strings(object["arguments"], settings.arguments))
    bad("arguments", "an array of strings");
  if (object.contains("files") && !take_patterns(object["files"], settings.files))
    bad("files", "an array of objects with \"pattern\" and \"arguments\"");
  if (object.contains("path") && !take_strings(object["path"], settings.path)) bad("path", "an array of strings");
  if (object.contains("extraWarnings")) {
    if (object["extraWarnings"].is_boolean()) settings.extra_warnings = object["extraWarnings"].get<bool>();
    else bad("extraWarnings", "true or false");
  }
  if (object.contains("environment") && !take_environment(object["environment"], settings.environment))
    bad("environment", "an object of KUP_ variables and string values");
}

const json* settings_object(const json& configuration) {
  if (!configuration.is_object()) return nullptr;
  const auto kup = configuration.find("kup");
  if (kup != configuration.end()) return kup->is_object() ? &*kup : nullptr;
  return &configuration;
}

}  // namespace kup::ls
