#include "input/dependencies.h"

#include <cstdio>

#include "driver/diagnostics.h"
#include "driver/text_format.h"
#include "platform/platform.h"
#include "platform/temporary_file.h"

namespace kup {

DependencyRecord dependencies;

namespace {

/// The rule: "TARGET: DEP DEP ..." and then "DEP:" for each dependency,
/// so that make and Ninja go on once a dependency has been deleted.
std::string dependency_rules(const std::string& target) {
  std::string text = make_escaped(target);
  text += ':';
  for (const std::string& path : dependencies.paths) {
    text += ' ';
    text += make_escaped(path);
  }
  text += '\n';
  for (const std::string& path : dependencies.paths) {
    text += make_escaped(path);
    text += ":\n";
  }
  return text;
}

}  // namespace

void open_dependency_file(const std::string& depfile) {
  std::string temp_name;
  std::FILE* temp = create_temporary_file(depfile, temp_name);
  if (temp == nullptr) fatal_command_line(format("KUP error - problem to create KUP_DEPFILE: '%s'\n", depfile));
  dependencies.temp = temp;
  dependencies.temp_name = std::move(temp_name);
  dependencies.active = true;
  guard_temporary_file(TemporarySlot::Dependencies, dependencies.temp_name.c_str(), fileno(temp));
}

void add_dependency(std::string_view path) {
  std::string name(path);
  if (!dependencies.seen.insert(name).second) return;
  dependencies.paths.push_back(std::move(name));
}

bool write_dependency_file(const std::string& depfile, const std::string& target) {
  std::FILE* temp = dependencies.temp;
  if (temp == nullptr) return true;
  dependencies.temp = nullptr;
  const std::string text = dependency_rules(target);
  const bool written = std::fwrite(text.data(), 1, text.size(), temp) == text.size() && std::fflush(temp) == 0;
  return finish_temporary_file(TemporarySlot::Dependencies, temp, dependencies.temp_name, depfile, written);
}

std::string make_escaped(std::string_view name) {
  std::string text;
  text.reserve(name.size());
  std::size_t backslashes = 0;  // the run of backslashes just written
  for (const char c : name) {
    // The run before a blank, a tab or '#' is written twice, then the escape.
    if (c == ' ' || c == '\t' || c == '#') text.append(backslashes + 1, '\\');
    else if (c == '$') text += '$';
    backslashes = c == '\\' ? backslashes + 1 : 0;
    text += c;
  }
  text.append(backslashes, '\\');  // a run at the end is doubled too
  return text;
}

void reset_dependencies() {
  if (dependencies.temp != nullptr)
    (void)finish_temporary_file(TemporarySlot::Dependencies, dependencies.temp, dependencies.temp_name, {}, false);
  dependencies = DependencyRecord{};
}

}  // namespace kup
