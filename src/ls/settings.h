// The workspace's settings for the runs: the arguments a template is run
// with, per file pattern where a project needs more than one set, the
// folders of KUP_PATH and the extra warnings.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace kup::ls {

/// The arguments for the files a pattern matches.
struct PatternArguments {
  std::string pattern;  ///< a shell pattern, against the relative path or the file's name
  std::vector<std::string> arguments;
};

/// What every run of the workspace is given.
struct Settings {
  /// The arguments before the document's path, for a document that no
  /// pattern matches.
  std::vector<std::string> arguments;
  /// The first pattern that matches a document chooses its arguments
  /// instead.
  std::vector<PatternArguments> files;
  /// The folders of KUP_PATH, relative ones from the workspace's root.
  std::vector<std::string> path;
  /// KUP_EXTRA_WARNINGS=1 in the runs.
  bool extra_warnings = true;
  /// Other KUP_ variables of the runs (those that make a run write files
  /// or change the form of its messages are left out).
  std::vector<std::pair<std::string, std::string>> environment;

  /// The arguments for the document at `relative` (its path from the
  /// workspace's root, or its absolute path outside it).
  const std::vector<std::string>& arguments_for(std::string_view relative) const;
};

/// Takes the members `object` has into `settings`, leaving the others as
/// they were; members of the wrong type are ignored and noted in `problems`.
void merge_settings(Settings& settings, const nlohmann::json& object, std::vector<std::string>& problems);

/// The settings object in a configuration: the member "kup" when there is
/// one, else the object itself; null for anything else.
const nlohmann::json* settings_object(const nlohmann::json& configuration);

/// The name of the workspace's settings file, read from its root.
inline constexpr std::string_view kSettingsFileName = ".kup-ls.json";

}  // namespace kup::ls
